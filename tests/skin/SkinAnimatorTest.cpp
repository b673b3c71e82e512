// The skin animator thread: registration, reuse during the idle window, self-exit, and
// notifications that only ever run on the GUI (test) thread.
#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <mutex>

#include "base/Thread.h"
#include "platform/Clock.h"
#include "platform/Thread.h"
#include "skin/SkinAnimator.h"

using namespace skin;

namespace {

// Plays the GUI thread's message window: the animator thread posts, the test pumps.
class QueueHost : public ISkinAnimatorHost {
 public:
  void Post(uint32_t message, TSkinAnimator* animator) override {
    std::lock_guard<std::mutex> l(FLock);
    FQueue.push_back({message, animator});
  }
  // Dispatches what was posted until pred holds or ms pass; true when pred held.
  template <class P>
  bool PumpUntil(P pred, uint32_t ms) {
    uint32_t start = platform::TickCount();
    while (!pred()) {
      if (platform::TickCount() - start > ms) return false;
      std::deque<std::pair<uint32_t, TSkinAnimator*>> batch;
      {
        std::lock_guard<std::mutex> l(FLock);
        batch.swap(FQueue);
      }
      for (auto& [message, animator] : batch) {
        if (message == WM_SKINANI_NOTIFY) SkinAnimatorNotifyPass();
        if (message == WM_SKINANI_CHANGE) SkinAnimatorChange(animator);
      }
      platform::SleepMs(5);
    }
    return true;
  }

 private:
  std::mutex FLock;
  std::deque<std::pair<uint32_t, TSkinAnimator*>> FQueue;
};

// Changes its frame every second tick.
class TwoTickAnimator : public TSkinAnimator {
 public:
  ~TwoTickAnimator() override { Stop(); }
  void Step() override {
    if (++Steps % 2 == 0) Changed = true;
  }
  std::atomic<int> Steps{0};
};

class SkinAnimatorTest : public ::testing::Test {
 protected:
  void SetUp() override { SetSkinAnimatorHost(&Host); }
  void TearDown() override {
    FreeSkinAnimatorThread();
    SetSkinAnimatorHost(nullptr);
    SetSkinAnimatorIdleExitMs(kSkinAnimatorIdleExitMs);
  }
  QueueHost Host;
};

}  // namespace

TEST_F(SkinAnimatorTest, StartWithoutCanAnimateStartsNoThread) {
  int32_t created = SkinAnimatorThreadsCreated();
  TwoTickAnimator a;
  a.DisableAnimation();
  a.SetActive(true);
  EXPECT_TRUE(a.Active());
  EXPECT_FALSE(a.Registered());
  EXPECT_EQ(SkinAnimatorThread(), nullptr);
  EXPECT_EQ(SkinAnimatorThreadsCreated(), created);
}

TEST_F(SkinAnimatorTest, SetActiveTwiceRegistersOnce) {
  TwoTickAnimator a;
  a.SetActive(true);
  a.SetActive(true);
  a.Start();
  ASSERT_TRUE(SkinAnimatorThread());
  EXPECT_EQ(SkinAnimatorThread()->List().Count(), 1);
  a.SetActive(false);
  EXPECT_FALSE(a.Registered());
  EXPECT_EQ(SkinAnimatorThread()->List().Count(), 0);
}

namespace {
struct Seen {
  std::atomic<int> Calls{0};
  std::atomic<bool> OffMainThread{false};
  TSkinAnimator* StopAfter = nullptr;
};
void OnChange(void* ud, TSkinAnimator* sender) {
  auto* seen = static_cast<Seen*>(ud);
  if (!base::IsMainThread()) seen->OffMainThread = true;
  if (++seen->Calls == 3 && seen->StopAfter == sender) sender->SetActive(false);  // inside a pass
}
}  // namespace

TEST_F(SkinAnimatorTest, NotificationsRunOnTheMainThreadOnly) {
  Seen seenA, seenB;
  TwoTickAnimator a, b;
  a.OnChange = {&OnChange, &seenA};
  b.OnChange = {&OnChange, &seenB};
  seenB.StopAfter = &b;
  a.SetActive(true);
  b.SetActive(true);
  ASSERT_TRUE(Host.PumpUntil([&] { return seenA.Calls >= 5 && seenB.Calls >= 3; }, 5000));
  EXPECT_FALSE(seenA.OffMainThread);
  EXPECT_FALSE(seenB.OffMainThread);
  EXPECT_FALSE(b.Registered());  // stopped itself from its own handler
  int bCalls = seenB.Calls;
  int steps = b.Steps;
  ASSERT_TRUE(Host.PumpUntil([&] { return seenA.Calls >= 8; }, 5000));
  EXPECT_EQ(seenB.Calls, bCalls);
  EXPECT_EQ(b.Steps, steps);
  // A change message for an animator that left the list is ignored.
  b.Changed = true;
  Host.Post(WM_SKINANI_CHANGE, &b);
  Host.PumpUntil([] { return false; }, 30);
  EXPECT_EQ(seenB.Calls, bCalls);
}

TEST_F(SkinAnimatorTest, StartDuringTheIdleWindowReusesTheThreadAfterwardsANewOne) {
  SetSkinAnimatorIdleExitMs(300);
  TwoTickAnimator a, b;
  int32_t created = SkinAnimatorThreadsCreated();
  a.SetActive(true);
  TSkinAnimatorThread* first = SkinAnimatorThread();
  a.SetActive(false);
  platform::SleepMs(100);  // idle, not yet gone
  b.SetActive(true);
  EXPECT_EQ(SkinAnimatorThread(), first);
  EXPECT_EQ(SkinAnimatorThreadsCreated(), created + 1);
  b.SetActive(false);
  uint32_t start = platform::TickCount();
  while (SkinAnimatorThread() && platform::TickCount() - start < 5000) platform::SleepMs(10);
  ASSERT_EQ(SkinAnimatorThread(), nullptr);  // ended itself after the idle wait
  a.SetActive(true);
  ASSERT_TRUE(SkinAnimatorThread());
  EXPECT_EQ(SkinAnimatorThreadsCreated(), created + 2);
  EXPECT_TRUE(SkinAnimatorThread()->List().Contains(&a));
}

TEST_F(SkinAnimatorTest, SelfExitAndStartNeverRace) {
  // With a 1 ms idle wait the thread is forever about to leave; every Start must land
  // in a thread that stays until the animator is stopped.
  SetSkinAnimatorIdleExitMs(1);
  TwoTickAnimator a;
  for (int i = 0; i < 200; ++i) {
    a.SetActive(true);
    TSkinAnimatorThread* t = SkinAnimatorThread();
    ASSERT_TRUE(t) << i;
    ASSERT_TRUE(t->List().Contains(&a)) << i;
    if (i % 3 == 0) platform::SleepMs(2);
    ASSERT_EQ(SkinAnimatorThread(), t) << i;
    a.SetActive(false);
    if (i % 2 == 0) platform::SleepMs(3);
  }
}
