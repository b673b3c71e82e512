// TThread: the platform thread class the library's worker threads derive from, and the
// main-thread synchronisation every worker uses to reach the user interface.
//
// A thread object is created with its operating-system thread suspended; construct it
// with TThread::Create<T>(args...) (or call AfterConstruction() once the object is
// complete) so that a thread asked to start running starts only when its object is
// whole. The thread runs Execute unless it was terminated before its first run, then
// DoTerminate, which calls OnTerminate on the main thread and waits until it has run.
// With FreeOnTerminate set (read after DoTerminate) the thread deletes its own object.
//
// Synchronize(method) blocks the calling worker until the main thread has run the
// method; an exception raised there is carried back and raised again in the worker.
// The main thread runs pending calls in CheckSynchronize, which a Windows message loop
// calls when the WakeMainThread hook posts to it, and which tests call in a small pump.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <type_traits>
#include <utility>

#include "base/Object.h"
#include "base/SyncObjs.h"

namespace platform {
struct ThreadHandle;
}

namespace base {

class TThread : public TObject {
 public:
  explicit TThread(bool createSuspended);
  // Waits for a started thread, but by then the subclass part is gone: release a thread
  // that may still run with Destroy (or TThreadDeleter), not delete.
  ~TThread() override;

  // Sets the terminate flag and waits unless the thread finished or never ran, then
  // deletes the object. Subclasses may clear state first and call the base.
  virtual void Destroy();

  template <class T, class... A>
  static T* Create(A&&... args) {
    T* t = new T(std::forward<A>(args)...);
    t->AfterConstruction();
    return t;
  }
  // Starts the thread unless it was created suspended. Call once, after construction.
  void AfterConstruction();

  // Lets a suspended thread run. Start and Resume are the same; further calls do nothing.
  void Start();
  void Resume() { Start(); }
  void Terminate() { FTerminated = true; }
  // Waits until the thread ended and returns its exit code. On the main thread pending
  // Synchronize calls keep running while it waits. Not allowed with FreeOnTerminate.
  uint32_t WaitFor();

  bool Terminated() const { return FTerminated; }
  bool Suspended() const { return !FStarted; }
  bool Finished() const { return FFinished; }
  bool FreeOnTerminate() const { return FFreeOnTerminate; }
  void SetFreeOnTerminate(bool v) { FFreeOnTerminate = v; }
  uint32_t ThreadID() const { return FThreadID; }
  // The exception that escaped Execute, if any (owned by the thread object).
  std::exception_ptr FatalException() const { return FFatalException; }

  TNotifyEvent OnTerminate;

  // Runs method on the main thread and waits for it; on the main thread it runs at once.
  static void Synchronize(TThread* thread, TThreadMethod method);
  template <class F>
  static void Synchronize(TThread* thread, F&& f) {
    using L = std::remove_reference_t<F>;
    Synchronize(thread, TThreadMethod{[](void* ctx) { (*static_cast<L*>(ctx))(); },
                                      const_cast<void*>(static_cast<const void*>(&f))});
  }

 protected:
  virtual void Execute() = 0;
  // Calls OnTerminate on the main thread (synchronously).
  virtual void DoTerminate();
  void Synchronize(TThreadMethod method) { Synchronize(this, method); }
  template <class F>
  void Synchronize(F&& f) {
    Synchronize(this, std::forward<F>(f));
  }

  uint32_t ReturnValue = 0;

 private:
  static uint32_t ThreadProc(void* param);
  void CallOnTerminate();
  void StopAndWait();

  platform::ThreadHandle* FHandle = nullptr;
  uint32_t FThreadID = 0;
  bool FCreateSuspended;
  std::atomic<bool> FStarted{false};
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FFinished{false};
  std::atomic<bool> FFreeOnTerminate{false};
  std::atomic<bool> FAbandoned{false};
  std::exception_ptr FFatalException;
};

// For std::unique_ptr<T, TThreadDeleter>: releases through Destroy.
struct TThreadDeleter {
  void operator()(TThread* t) const { t->Destroy(); }
};

// The id of the thread that owns the user interface (the thread that started the
// process, unless SetMainThreadID said otherwise).
uint32_t MainThreadID();
void SetMainThreadID(uint32_t id);
bool IsMainThread();

// Runs the pending Synchronize calls on the main thread, after waiting up to timeoutMs
// for one to arrive. True when at least one call ran. Raises EThread when called from
// another thread.
bool CheckSynchronize(uint32_t timeoutMs = 0);

// Called (from the worker) each time a Synchronize call is queued or a thread ends, so a
// message loop can wake up and call CheckSynchronize. The sender is the thread object.
void SetWakeMainThread(TNotifyEvent hook);

// Signalled when a Synchronize call is queued or a thread ends.
TEvent& SyncEvent();

}  // namespace base
