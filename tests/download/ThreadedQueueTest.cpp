#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "base/Exceptions.h"
#include "download/ThreadedQueue.h"
#include "platform/Clock.h"
#include "platform/Thread.h"

using base::TObject;
using download::TThreadedQueue;

namespace {
struct TItem : TObject {
  explicit TItem(int v, std::atomic<int>* alive = nullptr) : Value(v), Alive(alive) {
    if (Alive) ++*Alive;
  }
  ~TItem() override {
    if (Alive) --*Alive;
  }
  int Value;
  std::atomic<int>* Alive;
};
}  // namespace

TEST(ThreadedQueue, FifoOrderPeekAndCount) {
  TThreadedQueue q;
  TItem a(1), b(2);
  EXPECT_EQ(q.Push(&a), &a);
  q.Push(&b);
  EXPECT_EQ(q.Pop(), &a);
  EXPECT_EQ(q.Peek(), &b);
  EXPECT_EQ(q.Count(), 1);
  q.Clear();
}

TEST(ThreadedQueue, PopAndPeekOnEmptyRaiseAndChangeNothing) {
  TThreadedQueue q;
  for (auto op : {&TThreadedQueue::Pop, &TThreadedQueue::Peek}) {
    try {
      (q.*op)();
      FAIL();
    } catch (const base::EListError& e) {
      EXPECT_STREQ(e.what(), "List index out of bounds (-1)");
    }
    EXPECT_EQ(q.Count(), 0);
  }
  TObject* item = nullptr;
  EXPECT_FALSE(q.TryPop(item));
  EXPECT_EQ(item, nullptr);
}

TEST(ThreadedQueue, ClearKeepsObjectsDrainAndRemoveMatchingReleaseThem) {
  std::atomic<int> alive{0};
  TThreadedQueue q;
  auto* kept = new TItem(1, &alive);
  q.Push(kept);
  q.Clear();
  EXPECT_EQ(alive, 1);  // not owned: still there
  delete kept;

  for (int i = 0; i < 6; ++i) q.Push(new TItem(i, &alive));
  bool removed = q.RemoveMatching([](TObject* o) { return static_cast<TItem*>(o)->Value % 2 == 0; });
  EXPECT_TRUE(removed);
  EXPECT_EQ(alive, 3);
  EXPECT_FALSE(q.RemoveMatching([](TObject*) { return false; }));
  EXPECT_EQ(static_cast<TItem*>(q.Peek())->Value, 1);  // order of the rest kept
  q.Drain();
  EXPECT_EQ(alive, 0);
  EXPECT_EQ(q.Count(), 0);
}

TEST(ThreadedQueue, LockListIsReentrantForTheHolder) {
  TThreadedQueue q;
  TItem a(1);
  auto& list = q.LockList();
  list.push_back(&a);
  EXPECT_EQ(q.Count(), 1);  // same thread takes the lock again
  std::atomic<bool> pushed{false};
  std::thread other([&] {
    q.Push(&a);
    pushed = true;
  });
  platform::SleepMs(30);
  EXPECT_FALSE(pushed);  // others wait for UnlockList
  q.UnlockList();
  other.join();
  EXPECT_EQ(q.Count(), 2);
  q.Clear();
}

// Several producers and consumers with the atomic take: every item arrives exactly once.
TEST(ThreadedQueue, StressNoLostOrDuplicatedItems) {
  constexpr int kProducers = 3, kConsumers = 3, kPerProducer = 20000;
  TThreadedQueue q;
  std::vector<std::unique_ptr<TItem>> items;
  for (int i = 0; i < kProducers * kPerProducer; ++i) items.push_back(std::make_unique<TItem>(i));
  std::vector<std::atomic<int>> seen(items.size());
  std::atomic<int> producersLeft{kProducers};
  std::atomic<int> taken{0};

  std::vector<std::thread> threads;
  for (int p = 0; p < kProducers; ++p)
    threads.emplace_back([&, p] {
      for (int i = 0; i < kPerProducer; ++i) q.Push(items[static_cast<size_t>(p * kPerProducer + i)].get());
      --producersLeft;
    });
  uint32_t start = platform::TickCount();
  for (int c = 0; c < kConsumers; ++c)
    threads.emplace_back([&] {
      int lastPerProducer[kProducers] = {-1, -1, -1};
      for (;;) {
        TObject* o;
        if (q.TryPop(o)) {
          int v = static_cast<TItem*>(o)->Value;
          ++seen[static_cast<size_t>(v)];
          // FIFO: one consumer sees each producer's items in increasing order.
          EXPECT_GT(v, lastPerProducer[v / kPerProducer]);
          lastPerProducer[v / kPerProducer] = v;
          ++taken;
        } else if (producersLeft == 0 && q.Count() == 0) {
          break;
        } else if (platform::TickCount() - start > 60000) {
          break;  // bounded: a hang shows up as missing items
        } else {
          std::this_thread::yield();
        }
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(taken, kProducers * kPerProducer);
  EXPECT_TRUE(std::all_of(seen.begin(), seen.end(), [](const std::atomic<int>& n) { return n == 1; }));
}
