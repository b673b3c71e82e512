#include "base/Thread.h"

#include <condition_variable>
#include <deque>
#include <mutex>

#include "base/ExceptionHandler.h"
#include "base/Exceptions.h"
#include "base/Format.h"
#include "platform/SystemError.h"
#include "platform/Thread.h"

namespace base {
namespace {

std::atomic<uint32_t> gMainThreadID{platform::CurrentThreadId()};

struct TSyncRequest {
  TThreadMethod Method;
  std::exception_ptr Error;
  bool Done = false;
};

// The queue of pending Synchronize calls, process-wide.
struct TSyncQueue {
  std::mutex Lock;
  std::condition_variable Done;
  std::deque<TSyncRequest*> Pending;
  TNotifyEvent Wake;
  TEvent Event{true, false};
};

TSyncQueue& Queue() {
  static TSyncQueue* q = new TSyncQueue;  // never destroyed: threads may outlive statics
  return *q;
}

void WakeMain(TThread* sender) {
  TSyncQueue& q = Queue();
  q.Event.SetEvent();
  TNotifyEvent wake;
  {
    std::lock_guard<std::mutex> g(q.Lock);
    wake = q.Wake;
  }
  if (wake) wake(sender);
}

}  // namespace

uint32_t MainThreadID() { return gMainThreadID; }
void SetMainThreadID(uint32_t id) { gMainThreadID = id; }
bool IsMainThread() { return platform::CurrentThreadId() == gMainThreadID; }
TEvent& SyncEvent() { return Queue().Event; }

void SetWakeMainThread(TNotifyEvent hook) {
  std::lock_guard<std::mutex> g(Queue().Lock);
  Queue().Wake = hook;
}

bool CheckSynchronize(uint32_t timeoutMs) {
  if (!IsMainThread())
    throw EThread(
        Format("CheckSynchronize called from thread $%x, which is NOT the main thread", platform::CurrentThreadId()));
  TSyncQueue& q = Queue();
  if (timeoutMs > 0) q.Event.WaitFor(timeoutMs);
  q.Event.ResetEvent();
  std::deque<TSyncRequest*> work;
  {
    std::lock_guard<std::mutex> g(q.Lock);
    work.swap(q.Pending);
  }
  for (TSyncRequest* r : work) {
    try {
      r->Method();
    } catch (...) {
      r->Error = std::current_exception();
    }
    std::lock_guard<std::mutex> g(q.Lock);
    r->Done = true;
    q.Done.notify_all();
  }
  return !work.empty();
}

void TThread::Synchronize(TThread* thread, TThreadMethod method) {
  if (IsMainThread()) {
    method();
    return;
  }
  TSyncRequest request{method, nullptr, false};
  TSyncQueue& q = Queue();
  {
    std::lock_guard<std::mutex> g(q.Lock);
    q.Pending.push_back(&request);
  }
  WakeMain(thread);
  {
    std::unique_lock<std::mutex> g(q.Lock);
    q.Done.wait(g, [&] { return request.Done; });
  }
  if (request.Error) std::rethrow_exception(request.Error);
}

TThread::TThread(bool createSuspended) : FCreateSuspended(createSuspended) {
  uint32_t error = 0;
  FHandle = platform::CreateSuspendedThread(&TThread::ThreadProc, this, FThreadID, error);
  if (!FHandle) throw EThread(Format("Thread creation error: %s", platform::SysErrorMessage(error)));
}

void TThread::AfterConstruction() {
  if (!FCreateSuspended) Start();
}

void TThread::Start() {
  bool expected = false;
  if (FStarted.compare_exchange_strong(expected, true)) platform::ResumeThread(FHandle);
}

void TThread::StopAndWait() {
  if (!FStarted) {
    // Never ran: let the OS thread leave without touching this object.
    FAbandoned = true;
    FStarted = true;
    platform::ResumeThread(FHandle);
    platform::WaitThread(FHandle, platform::kInfinite);
  } else if (platform::CurrentThreadId() != FThreadID) {
    // Even a finished thread is waited for: its last steps still read this object.
    if (!FFinished) Terminate();
    FFreeOnTerminate = false;
    WaitFor();
  }
}

void TThread::Destroy() {
  StopAndWait();
  delete this;
}

TThread::~TThread() {
  if (!FHandle) return;
  StopAndWait();
  platform::ReleaseThread(FHandle);
}

uint32_t TThread::WaitFor() {
  if (FFreeOnTerminate) throw EThread("Cannot call WaitFor on a FreeOnTerminate thread");
  if (platform::CurrentThreadId() == FThreadID) throw EThread("A thread cannot wait for itself");
  if (IsMainThread()) {
    // Keep serving Synchronize calls (OnTerminate among them) while waiting.
    while (!platform::WaitThread(FHandle, 0)) CheckSynchronize(10);
  } else {
    platform::WaitThread(FHandle, platform::kInfinite);
  }
  return ReturnValue;
}

void TThread::CallOnTerminate() {
  if (OnTerminate) OnTerminate(this);
}

void TThread::DoTerminate() {
  if (OnTerminate) Synchronize(this, Method<&TThread::CallOnTerminate>(this));
}

uint32_t TThread::ThreadProc(void* param) {
  auto* self = static_cast<TThread*>(param);
  if (self->FAbandoned) return 0;
  if (!self->FTerminated) {
    try {
      self->Execute();
    } catch (...) {
      self->FFatalException = std::current_exception();
    }
  }
  uint32_t exitCode = self->ReturnValue;
  try {
    self->DoTerminate();
  } catch (...) {
    // An exception must not end the thread procedure: hand it to the application.
    HandleApplicationException(self, std::current_exception());
  }
  self->FFinished = true;
  WakeMain(self);
  if (self->FFreeOnTerminate) delete self;
  return exitCode;
}

}  // namespace base
