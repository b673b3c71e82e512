#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

#include "base/ExceptionHandler.h"
#include "base/Exceptions.h"
#include "base/Thread.h"
#include "platform/Clock.h"
#include "platform/Thread.h"

using namespace base;

namespace {

// Runs a callable as its Execute.
class TLambdaThread : public TThread {
 public:
  template <class F>
  TLambdaThread(bool suspended, F f) : TThread(suspended), FBody(std::move(f)) {}
  std::atomic<int> Runs{0};
  std::atomic<int> Terminations{0};
  std::atomic<uint32_t> TerminateThreadId{0};
  void SetReturn(uint32_t v) { ReturnValue = v; }

 protected:
  void Execute() override {
    ++Runs;
    FBody(this);
  }
  void DoTerminate() override {
    ++Terminations;
    TThread::DoTerminate();
  }

 private:
  std::function<void(TLambdaThread*)> FBody;
};

// Pumps the main thread's synchronisation queue until done() or the bound runs out.
template <class F>
bool PumpUntil(F done, uint32_t boundMs = 10000) {
  uint32_t start = platform::TickCount();
  while (!done()) {
    if (platform::TickCount() - start > boundMs) return false;
    CheckSynchronize(5);
  }
  return true;
}

}  // namespace

TEST(Thread, RunsExecuteAndReportsExitCode) {
  auto* t = TThread::Create<TLambdaThread>(false, [](TLambdaThread* self) { self->SetReturn(17); });
  EXPECT_EQ(t->WaitFor(), 17u);
  EXPECT_TRUE(t->Finished());
  EXPECT_EQ(t->Runs, 1);
  EXPECT_EQ(t->Terminations, 1);
  delete t;
}

TEST(Thread, SuspendedThreadRunsNothingUntilStarted) {
  std::atomic<bool> ran{false};
  auto* t = TThread::Create<TLambdaThread>(true, [&](TLambdaThread*) { ran = true; });
  platform::SleepMs(50);
  EXPECT_FALSE(ran);
  EXPECT_TRUE(t->Suspended());
  t->Start();
  t->Resume();  // a second start does nothing
  t->WaitFor();
  EXPECT_TRUE(ran);
  delete t;
}

TEST(Thread, DestroyingANeverStartedThreadRunsNothing) {
  std::atomic<bool> ran{false};
  auto* t = TThread::Create<TLambdaThread>(true, [&](TLambdaThread*) { ran = true; });
  delete t;
  EXPECT_FALSE(ran);
}

TEST(Thread, TerminatedBeforeFirstRunSkipsExecuteButTerminates) {
  auto* t = TThread::Create<TLambdaThread>(true, [](TLambdaThread*) {});
  t->Terminate();
  t->Start();
  t->WaitFor();
  EXPECT_EQ(t->Runs, 0);
  EXPECT_EQ(t->Terminations, 1);
  delete t;
}

TEST(Thread, ExceptionInExecuteIsStoredAndTerminationStillRuns) {
  auto* t = TThread::Create<TLambdaThread>(false, [](TLambdaThread*) { throw Exception("boom"); });
  t->WaitFor();
  ASSERT_TRUE(t->FatalException());
  EXPECT_EQ(ExceptionMessage(t->FatalException()), "boom");
  EXPECT_EQ(t->Terminations, 1);
  delete t;
}

TEST(Thread, OnTerminateRunsOnTheMainThread) {
  std::atomic<uint32_t> where{0};
  auto* t = TThread::Create<TLambdaThread>(true, [](TLambdaThread*) {});
  t->OnTerminate = {
      [](void* ctx, TObject*) { static_cast<std::atomic<uint32_t>*>(ctx)->store(platform::CurrentThreadId()); },
      &where};
  t->Start();
  t->WaitFor();  // serves the synchronised call while waiting
  EXPECT_EQ(where, platform::CurrentThreadId());
  delete t;
}

TEST(Thread, OnTerminateSettingFreeOnTerminateFreesTheThread) {
  static std::atomic<int> destroyed{0};
  struct TSelfFreeing : TLambdaThread {
    using TLambdaThread::TLambdaThread;
    ~TSelfFreeing() override { ++destroyed; }
  };
  destroyed = 0;
  auto* t = TThread::Create<TSelfFreeing>(true, [](TLambdaThread*) {});
  t->OnTerminate = {[](void*, TObject* sender) { static_cast<TThread*>(sender)->SetFreeOnTerminate(true); }, nullptr};
  t->Start();
  EXPECT_TRUE(PumpUntil([] { return destroyed == 1; }));
}

TEST(Thread, SynchronizeBlocksTheWorkerUntilTheMainThreadRan) {
  std::atomic<int> step{0};
  std::atomic<int> seenAfterSync{-1};
  auto* t = TThread::Create<TLambdaThread>(false, [&](TLambdaThread* self) {
    TThread::Synchronize(self, [&] {
      platform::SleepMs(30);  // the worker must still be waiting after this
      step = 1;
    });
    seenAfterSync = step.load();
  });
  platform::SleepMs(50);
  EXPECT_EQ(seenAfterSync, -1);  // the call has not run: the main thread did not pump
  EXPECT_TRUE(PumpUntil([&] { return seenAfterSync != -1; }));
  EXPECT_EQ(seenAfterSync, 1);
  t->WaitFor();
  delete t;
}

TEST(Thread, SynchronizeCarriesExceptionsBackToTheWorker) {
  std::atomic<bool> caught{false};
  auto* t = TThread::Create<TLambdaThread>(false, [&](TLambdaThread* self) {
    try {
      TThread::Synchronize(self, [] { throw EConvertError("bad"); });
    } catch (const EConvertError& e) {
      caught = std::string(e.what()) == "bad";
    }
  });
  t->WaitFor();
  EXPECT_TRUE(caught);
  delete t;
}

TEST(Thread, WakeHookAndMainThreadChecks) {
  static std::atomic<int> wakes{0};
  wakes = 0;
  SetWakeMainThread({[](void*, TObject*) { ++wakes; }, nullptr});
  auto* t = TThread::Create<TLambdaThread>(false, [](TLambdaThread* self) { TThread::Synchronize(self, [] {}); });
  t->WaitFor();
  delete t;
  SetWakeMainThread({});
  EXPECT_GE(wakes, 2);  // the queued call and the thread's end
  std::atomic<bool> refused{false};
  auto* other = TThread::Create<TLambdaThread>(false, [&](TLambdaThread*) {
    try {
      CheckSynchronize();
    } catch (const EThread&) {
      refused = true;
    }
  });
  other->WaitFor();
  delete other;
  EXPECT_TRUE(refused);
  EXPECT_FALSE(CheckSynchronize(0));
}

TEST(Thread, DestroyingARunningThreadTerminatesAndWaits) {
  std::atomic<bool> left{false};
  auto* t = TThread::Create<TLambdaThread>(false, [&](TLambdaThread* self) {
    while (!self->Terminated()) platform::SleepMs(1);
    platform::SleepMs(20);  // still running after the flag: Destroy must wait for this
    left = true;
  });
  platform::SleepMs(10);
  t->Destroy();  // must return: sets the flag and waits
  EXPECT_TRUE(left.load()) << "Destroy returned before the thread's body ended";
}

// Records that its memory was given back, which happens only after ~TThread returned.
class TFreedThread : public TLambdaThread {
 public:
  using TLambdaThread::TLambdaThread;
  static void* operator new(size_t size) { return ::operator new(size); }
  static void operator delete(void* p) {
    ::operator delete(p);
    Freed = true;
  }
  static bool RunAndWaitUntilFreed() {
    Freed = false;
    auto* t = TThread::Create<TFreedThread>(true, [](TLambdaThread*) {});
    t->SetFreeOnTerminate(true);
    t->Start();
    for (int i = 0; i < 500 && !Freed; ++i) CheckSynchronize(10);
    return Freed;
  }
  static inline std::atomic<bool> Freed{false};
};

TEST(Thread, AThreadKnowsItsOwnIdAndAFreeOnTerminateThreadEnds) {
  // The id a thread is created with is the one it sees as its own: the check that keeps a
  // thread from waiting for itself depends on it.
  std::atomic<uint32_t> seen{0};
  auto* t = TThread::Create<TLambdaThread>(false, [&](TLambdaThread*) { seen = platform::CurrentThreadId(); });
  t->WaitFor();
  EXPECT_EQ(seen.load(), t->ThreadID());
  EXPECT_NE(t->ThreadID(), platform::CurrentThreadId());
  delete t;
  // A thread that frees itself when it ends must get through its destruction (it used to
  // wait for itself there for ever).
  EXPECT_TRUE(TFreedThread::RunAndWaitUntilFreed());
}
