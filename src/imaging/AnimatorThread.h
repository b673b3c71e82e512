// TGPAnimatorThread: the one process-wide thread that ticks every animated picture. It
// is created with the first animated picture, ticks its list every 50 ms, asks the GUI
// thread for a notification pass when a frame changed, is destroyed at once when the
// last animator is removed, and ends itself after 8000 ms without work.
//
// Ownership of the process-wide thread is decided under one lock: the thread's idle
// exit and a new registration never race (an animator is never added to a thread that
// is on its way out), and exactly one side frees the thread object.
#pragma once

#include <cstdint>
#include <memory>

#include "base/Thread.h"
#include "imaging/AnimatorClock.h"
#include "imaging/ImageList.h"

namespace imaging {

class TGPAnimatorThread;

// Messages of the thread's hidden window on the GUI thread.
constexpr uint32_t WM_ANIMATOR_FRAMECHANGE = 0x0400 + 1000;  // 2024: run one animator's handler
constexpr uint32_t WM_ANIMATOR_NOTIFY = 0x0400 + 1001;       // 2025: notification pass
// The idle wait after which a thread without animators ends itself.
constexpr uint32_t kAnimatorIdleExitMs = 8000;

// Where the thread's notifications go: the hidden window on Windows, a recorder in tests.
class IAnimatorHost {
 public:
  virtual ~IAnimatorHost() = default;
  // Asks the GUI thread for a notification pass (posts message 2025). Animator thread.
  virtual void PostNotify() = 0;
  // Called instead of the destructor; a host bound to the GUI thread may defer its
  // release there (any thread).
  virtual void Release() { delete this; }
};

struct THostDeleter {
  void operator()(IAnimatorHost* host) const { host->Release(); }
};

class TGPAnimatorThread : public base::TThread {
 public:
  // Created suspended; the first Add resumes it. The host is created for this thread
  // by the factory given to SetAnimatorThreadFactory.
  explicit TGPAnimatorThread(std::unique_ptr<IAnimatorClock> clock);
  // Called by the factory once the host exists; the thread releases it.
  void SetHost(IAnimatorHost* host) { FHost.reset(host); }

  // Destroys the thread from another thread (GUI): stops it, waits for it, releases the
  // host and frees the list with its animators.
  void Destroy() override;

  TGPImageList& List() { return FList; }
  IAnimatorClock& Clock() { return *FClock; }

 protected:
  void Execute() override;

 private:
  friend void AddToAnimatorThread(std::unique_ptr<TGPImageAnimator> animator);
  friend void RemoveFromAnimatorThread(IAnimatedImage* image, TFrameChangeEvent::TCode code);
  friend void FreeAnimatorThread();
  friend void AnimatorNotificationPass();
  friend void AnimatorFrameChange(TGPImageAnimator* animator);
  friend class TPassPin;
  ~TGPAnimatorThread() override;
  bool IdleExit();
  void LeaveProcessSlot();

  TGPImageList FList{true};
  std::unique_ptr<IAnimatorClock> FClock;
  std::unique_ptr<IAnimatorHost, THostDeleter> FHost;
  // Guarded by the process-wide lock.
  bool FExiting = false;         // leaving: ending itself, or detached for destruction
  int32_t FPassDepth = 0;        // running notification passes; the thread stays meanwhile
  bool FDestroyPending = false;  // the last animator went during a pass
};

// Makes the process-wide thread (created suspended, its host attached). The default
// makes a thread on the system clock whose host posts nothing; the Windows layer
// installs one with the hidden window, timing tests one with a fake clock.
using TAnimatorThreadFactory = TGPAnimatorThread* (*)();
void SetAnimatorThreadFactory(TAnimatorThreadFactory factory);

// The process-wide thread, or null. For tests and diagnostics; it may go at any time.
TGPAnimatorThread* AnimatorThread();
// Adds an animator to the process-wide thread, creating the thread when there is none
// or the current one is ending itself. GUI thread.
void AddToAnimatorThread(std::unique_ptr<TGPImageAnimator> animator);
// Removes animators of (image, handler code or any) from the process-wide thread; when
// its list is then empty the thread is destroyed at once (after a running notification
// pass). GUI thread.
void RemoveFromAnimatorThread(IAnimatedImage* image, TFrameChangeEvent::TCode code);
// Destroys the process-wide thread with its animators (library shutdown). GUI thread.
void FreeAnimatorThread();

// The notification pass (GUI thread, message 2025): when the list is dirty, shows the
// changed frames, then calls their handlers after the list lock is released, so a
// handler may stop its own or any other animation. The thread is kept alive during the
// pass; when the last animation was stopped in a handler, the thread is destroyed after
// the pass, never inside it.
void AnimatorNotificationPass();
// Runs one animator's handler (GUI thread, message 2024); ignored while the thread
// terminates, for an animator that is not in its list, or without a handler.
void AnimatorFrameChange(TGPImageAnimator* animator);

}  // namespace imaging
