#include <gtest/gtest.h>

#include <atomic>

#include "base/ExceptionHandler.h"
#include "base/Exceptions.h"
#include "download/QZThread.h"
#include "platform/Clock.h"
#include "platform/Thread.h"

using namespace base;
using download::TQZThread;

namespace {
std::atomic<int> gWorkersFreed{0};

class TWorker : public TQZThread {
 public:
  explicit TWorker(bool suspended) : TQZThread(suspended) {}
  ~TWorker() override { ++gWorkersFreed; }
  std::atomic<bool> Ran{false};
  bool RunUntilTerminated = false;

 protected:
  void Execute() override {
    Ran = true;
    while (RunUntilTerminated && !Terminated()) platform::SleepMs(1);
  }
};
}  // namespace

TEST(QZThread, FailingOnTerminateGoesToTheApplicationHandler) {
  static std::atomic<int> handled{0};
  static std::string message;
  handled = 0;
  SetApplicationExceptionHandler({[](void*, TObject*, const std::exception_ptr& e) {
                                    message = ExceptionMessage(e);
                                    ++handled;
                                  },
                                  nullptr});
  auto* t = TThread::Create<TWorker>(true);
  t->OnTerminate = {[](void*, TObject*) { throw Exception("handler failed"); }, nullptr};
  t->Start();
  t->WaitFor();
  EXPECT_TRUE(t->Ran);
  EXPECT_TRUE(t->Finished());  // the thread procedure still completed
  EXPECT_EQ(handled, 1);
  EXPECT_EQ(message, "handler failed");
  EXPECT_FALSE(t->FatalException());
  delete t;
  SetApplicationExceptionHandler({});
}

TEST(QZThread, DestroyClearsFreeOnTerminateBeforeWaiting) {
  // A running thread marked FreeOnTerminate that its owner deletes is freed exactly once
  // (ASan also reports the double free otherwise).
  gWorkersFreed = 0;
  auto* t = TThread::Create<TWorker>(true);
  t->RunUntilTerminated = true;
  t->SetFreeOnTerminate(true);
  t->Start();
  while (!t->Ran) platform::SleepMs(1);
  t->Destroy();
  EXPECT_EQ(gWorkersFreed.load(), 1);
  platform::SleepMs(50);  // a second free by the ending thread would come by now
  EXPECT_EQ(gWorkersFreed.load(), 1);
}
