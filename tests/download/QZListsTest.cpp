#include <gtest/gtest.h>

#include <vector>

#include "download/QZEventList.h"
#include "download/QZObjectList.h"

using namespace base;
using download::TQZEventList;
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

TEST(QZEventList, HandlersRunInIndexOrderAndCanBeRemoved) {
  std::vector<int> calls;
  TQZEventList<int> events;
  auto first =
      TQZEventList<int>::THandler{[](void* ctx, int v) { static_cast<std::vector<int>*>(ctx)->push_back(v); }, &calls};
  auto second = TQZEventList<int>::THandler{
      [](void* ctx, int v) { static_cast<std::vector<int>*>(ctx)->push_back(v * 10); }, &calls};
  events.Add(first);
  events.Add(second);
  ASSERT_EQ(events.Count(), 2);
  EXPECT_EQ(events.Get(1), second);
  events.Call(3);
  EXPECT_EQ(calls, (std::vector<int>{3, 30}));
  EXPECT_TRUE(events.Remove(first));
  EXPECT_FALSE(events.Remove(first));
  events.Call(1);
  EXPECT_EQ(calls, (std::vector<int>{3, 30, 10}));
  EXPECT_THROW(events.Get(1), EListError);
}
