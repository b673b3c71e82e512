#include <gtest/gtest.h>

#include <vector>

#include "base/QZEventList.h"

using namespace base;

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
