#include "imaging/AnimatorThread.h"

#include <mutex>
#include <utility>
#include <vector>

namespace imaging {
namespace {

// Guards the process-wide thread variable and every thread's FExiting, FPassDepth and
// FDestroyPending. Order: this lock before a list lock, never the other way round.
std::mutex gLock;
TGPAnimatorThread* gThread = nullptr;

TGPAnimatorThread* DefaultFactory() { return new TGPAnimatorThread(std::make_unique<TSystemAnimatorClock>()); }
TAnimatorThreadFactory gFactory = &DefaultFactory;

// Takes the thread out of the process-wide slot so that the caller alone destroys it.
// gLock held.
void DetachLocked(TGPAnimatorThread* thread, bool& exiting) {
  exiting = true;
  thread->SetFreeOnTerminate(false);
  if (gThread == thread) gThread = nullptr;
}

}  // namespace

TGPAnimatorThread::TGPAnimatorThread(std::unique_ptr<IAnimatorClock> clock)
    : base::TThread(true), FClock(std::move(clock)) {}

TGPAnimatorThread::~TGPAnimatorThread() = default;

void TGPAnimatorThread::Destroy() {
  SetFreeOnTerminate(false);
  Terminate();
  FClock->Wake();
  base::TThread::Destroy();  // waits, then deletes: the host and the list go with it
}

void TGPAnimatorThread::Execute() {
  try {
    while (!Terminated()) {
      while (!Terminated() && FList.Count() > 0) {
        {
          TImageListReadLock lock(FList);
          for (int32_t i = 0; i < FList.UnlockedCount() && !Terminated(); ++i) {
            TGPImageAnimator* animator = FList.Items(i);
            if (animator->Image() && animator->Animatable()) animator->Tick();
          }
        }
        if (Terminated()) break;
        if (FList.Dirty() && FHost) FHost->PostNotify();
        FClock->Sleep(kAnimatorTickMs);
      }
      if (Terminated()) break;
      FClock->WaitForWake(kAnimatorIdleExitMs);
      if (IdleExit()) break;
      FClock->ResetWake();
    }
  } catch (...) {
    LeaveProcessSlot();
    throw;
  }
  LeaveProcessSlot();
}

bool TGPAnimatorThread::IdleExit() {
  std::lock_guard<std::mutex> g(gLock);
  if (FExiting) return true;
  // A running notification pass or a new animator keeps the thread.
  if (FPassDepth > 0 || FList.Count() > 0) return false;
  // Free-on-terminate stays set: the thread object frees itself.
  FExiting = true;
  if (gThread == this) gThread = nullptr;
  Terminate();
  return true;
}

void TGPAnimatorThread::LeaveProcessSlot() {
  std::lock_guard<std::mutex> g(gLock);
  if (FExiting) return;
  FExiting = true;
  if (gThread == this) gThread = nullptr;
}

void SetAnimatorThreadFactory(TAnimatorThreadFactory factory) {
  std::lock_guard<std::mutex> g(gLock);
  gFactory = factory ? factory : &DefaultFactory;
}

TGPAnimatorThread* AnimatorThread() {
  std::lock_guard<std::mutex> g(gLock);
  return gThread;
}

void AddToAnimatorThread(std::unique_ptr<TGPImageAnimator> animator) {
  std::lock_guard<std::mutex> g(gLock);
  TGPAnimatorThread* thread = gThread;
  if (!thread || thread->FExiting) {
    // A thread ending itself has left the slot already; the new one takes it.
    thread = gFactory();
    thread->SetFreeOnTerminate(true);
    gThread = thread;
  }
  if (thread->Terminated()) return;  // unreachable while it holds the slot
  thread->FList.Add(animator.release());
  if (thread->Suspended())
    thread->Start();
  else
    thread->FClock->Wake();
}

void RemoveFromAnimatorThread(IAnimatedImage* image, TFrameChangeEvent::TCode code) {
  if (!image) return;
  TGPAnimatorThread* doomed = nullptr;
  {
    std::lock_guard<std::mutex> g(gLock);
    TGPAnimatorThread* thread = gThread;
    if (!thread || thread->FExiting || thread->Terminated()) return;
    thread->FList.Remove(image, code);
    if (thread->FList.Count() > 0) return;
    if (thread->FPassDepth > 0) {
      thread->FDestroyPending = true;
      return;
    }
    DetachLocked(thread, thread->FExiting);
    doomed = thread;
  }
  doomed->Destroy();
}

void FreeAnimatorThread() {
  TGPAnimatorThread* doomed = nullptr;
  {
    std::lock_guard<std::mutex> g(gLock);
    doomed = gThread;
    if (doomed) DetachLocked(doomed, doomed->FExiting);
  }
  if (doomed) {
    try {
      doomed->Destroy();
    } catch (...) {
      // Shutdown goes on.
    }
  }
}

// Keeps the process-wide thread alive for one notification: it neither ends itself nor
// is destroyed by a handler until the pin goes; then a destruction asked for meanwhile
// runs, outside the pass.
class TPassPin {
 public:
  TPassPin() {
    std::lock_guard<std::mutex> g(gLock);
    FThread = gThread;
    if (FThread && (FThread->FExiting || FThread->Terminated())) FThread = nullptr;
    if (FThread) ++FThread->FPassDepth;
  }
  ~TPassPin() {
    if (!FThread) return;
    TGPAnimatorThread* doomed = nullptr;
    {
      std::lock_guard<std::mutex> g(gLock);
      if (--FThread->FPassDepth == 0 && FThread->FDestroyPending && !FThread->FExiting) {
        FThread->FDestroyPending = false;
        if (FThread->FList.Count() == 0) {
          DetachLocked(FThread, FThread->FExiting);
          doomed = FThread;
        }
      }
    }
    if (doomed) doomed->Destroy();
  }
  TPassPin(const TPassPin&) = delete;
  TPassPin& operator=(const TPassPin&) = delete;
  TGPAnimatorThread* Thread() const { return FThread; }

 private:
  TGPAnimatorThread* FThread;
};

void AnimatorNotificationPass() {
  TPassPin pin;
  TGPAnimatorThread* thread = pin.Thread();
  if (!thread || !thread->FList.Dirty()) return;
  struct TCall {
    TGPImageAnimator* Animator;
    TFrameChangeEvent Handler;
  };
  std::vector<TCall> calls;
  {
    TImageListReadLock lock(thread->FList);
    for (int32_t i = 0; i < thread->FList.UnlockedCount(); ++i) {
      TGPImageAnimator* animator = thread->FList.Items(i);
      if (!animator->Changed() || !animator->Handler) continue;
      animator->SelectFrame();
      calls.push_back({animator, animator->Handler});
    }
  }
  thread->FList.SetDirty(false);
  // Handlers run without the lock; one may remove (and so free) an animator still
  // waiting here, so each is looked up again before its call.
  for (const TCall& call : calls) {
    if (thread->FList.Contains(call.Animator)) call.Handler(call.Animator);
  }
}

void AnimatorFrameChange(TGPImageAnimator* animator) {
  TPassPin pin;
  TGPAnimatorThread* thread = pin.Thread();
  if (!thread || !animator || !thread->FList.Contains(animator) || !animator->Handler) return;
  animator->Handler(animator);
}

}  // namespace imaging
