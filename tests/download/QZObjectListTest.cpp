#include <gtest/gtest.h>

#include <vector>

#include "download/QZObjectList.h"

using namespace base;
using download::TQZObjectList;

namespace {
struct TCounted : TObject {
  explicit TCounted(int* alive) : Alive(alive) { ++*Alive; }
  ~TCounted() override { --*Alive; }
  int* Alive;
};
struct TLog {
  std::vector<std::pair<TObject*, TListNotification>> Seen;
  int AliveAtDelete = -1;
  int* Alive = nullptr;
};
}  // namespace

TEST(QZObjectList, OwningListReleasesOnDeleteNotExtractAndReportsBoth) {
  int alive = 0;
  TLog log;
  log.Alive = &alive;
  {
    TQZObjectList list(true);
    list.OnNotify = {[](void* ctx, TObject* item, TListNotification action) {
                       auto* l = static_cast<TLog*>(ctx);
                       l->Seen.emplace_back(item, action);
                       if (action == TListNotification::lnDeleted) l->AliveAtDelete = *l->Alive;
                     },
                     &log};
    auto* a = new TCounted(&alive);
    auto* b = new TCounted(&alive);
    EXPECT_EQ(list.Add(a), 0);
    EXPECT_EQ(list.Add(b), 1);
    list.Delete(0);
    EXPECT_EQ(alive, 1);
    EXPECT_EQ(log.AliveAtDelete, 2);  // notified before the item was released
    EXPECT_EQ(list.Extract(b), b);
    EXPECT_EQ(alive, 1);
    ASSERT_EQ(log.Seen.size(), 4u);
    EXPECT_EQ(log.Seen[2].second, TListNotification::lnDeleted);
    EXPECT_EQ(log.Seen[3].second, TListNotification::lnExtracted);
    EXPECT_EQ(log.Seen[3].first, b);
    list.Add(b);
  }
  EXPECT_EQ(alive, 0);  // destroying the owning list released b
  EXPECT_EQ(log.Seen.back().second, TListNotification::lnDeleted);
}
