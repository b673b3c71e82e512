#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "base/SyncObjs.h"
#include "platform/Clock.h"

using namespace base;

TEST(SyncObjs, ManualAndAutoResetEvents) {
  TEvent manual(true, false);
  EXPECT_EQ(manual.WaitFor(0), TWaitResult::wrTimeout);
  uint32_t start = platform::TickCount();
  EXPECT_EQ(manual.WaitFor(60), TWaitResult::wrTimeout);
  EXPECT_GE(platform::TickCount() - start, 50u);
  manual.SetEvent();
  EXPECT_EQ(manual.WaitFor(0), TWaitResult::wrSignaled);
  EXPECT_EQ(manual.WaitFor(0), TWaitResult::wrSignaled);  // stays set
  manual.ResetEvent();
  EXPECT_FALSE(manual.IsSet());

  TEvent automatic(false, true);
  EXPECT_EQ(automatic.WaitFor(0), TWaitResult::wrSignaled);
  EXPECT_EQ(automatic.WaitFor(0), TWaitResult::wrTimeout);  // released one waiter
}

TEST(SyncObjs, EventWakesWaitingThread) {
  TEvent ev;
  std::atomic<bool> woke{false};
  std::thread t([&] { woke = ev.WaitFor(5000) == TWaitResult::wrSignaled; });
  ev.SetEvent();
  t.join();
  EXPECT_TRUE(woke);
}

TEST(SyncObjs, CriticalSectionIsReentrantAndExclusive) {
  TCriticalSection cs;
  cs.Enter();
  EXPECT_TRUE(cs.TryEnter());  // same thread again
  cs.Leave();
  std::atomic<bool> other{true};
  std::thread([&] { other = cs.TryEnter(); }).join();
  EXPECT_FALSE(other);
  cs.Leave();

  int counter = 0;
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i)
    threads.emplace_back([&] {
      for (int k = 0; k < 10000; ++k) {
        TLockGuard g(cs);
        ++counter;
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, 40000);
}

TEST(SyncObjs, ReadersShareWritersExclude) {
  TMultiReadExclusiveWriteSynchronizer lock;
  lock.BeginRead();
  std::atomic<bool> secondReader{false};
  std::thread([&] {
    lock.BeginRead();  // a second reader gets in while the first reads
    secondReader = true;
    lock.EndRead();
  }).join();
  EXPECT_TRUE(secondReader);

  std::atomic<bool> wrote{false};
  std::thread writer([&] {
    lock.BeginWrite();
    wrote = true;
    lock.EndWrite();
  });
  for (int i = 0; i < 5 && !wrote; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_FALSE(wrote);  // blocked by the reader
  lock.EndRead();
  writer.join();
  EXPECT_TRUE(wrote);

  lock.BeginWrite();
  lock.BeginRead();  // the writer may read and write again
  lock.BeginWrite();
  lock.EndWrite();
  lock.EndRead();
  lock.EndWrite();

  // Shared counter under the lock from several threads.
  long value = 0;
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i)
    threads.emplace_back([&, i] {
      for (int k = 0; k < 2000; ++k) {
        if (k % 4 == i % 4) {
          lock.BeginWrite();
          ++value;
          lock.EndWrite();
        } else {
          lock.BeginRead();
          volatile long seen = value;
          (void)seen;
          lock.EndRead();
        }
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(value, 2000);
}
