#include "download/HttpWorkerThread.h"

#include "base/Strings.h"
#include "download/HttpThreadPool.h"
#include "net/HTTPApp.h"
#include "net/QZTCPClient.h"
#include "platform/Clock.h"
#include "platform/Thread.h"

namespace download {

THttpWorkerThread::THttpWorkerThread(THttpThreadPool* pool, std::string host, std::string port)
    : TQZThread(true),
      FPool(pool),
      FClient(std::make_unique<net::THTTPClient>()),
      FHost(std::move(host)),
      FPort(std::move(port)) {
  FClient->KeepAlive = true;
  FClient->Timeout = 60000;
  // A connect that waits in select, so that a cancel ends it (a blocking connect to a
  // host that drops the handshake would hold the worker for the system's own time-out).
  FClient->TcpClient().Socket().ConnectTimeout = 60000;
  FClient->AcceptEncoding = true;
  SetFreeOnTerminate(true);
}

THttpWorkerThread::~THttpWorkerThread() {
  // Runs either on the worker itself (it ended and frees itself) or on the main thread
  // after the pool stopped and waited for it; in both cases Execute is over.
  FQueue.Drain();
}

bool THttpWorkerThread::Enqueue(THttpTask* task, bool wake) {
  {
    // The closing decision and the push exclude each other, so no task is left behind
    // in the queue of a worker that is ending.
    base::TLockGuard g(FServerLock);
    if (FClosing) return false;
    FQueue.Push(task);
  }
  if (wake && !FPaused) {
    if (Suspended())
      Start();
    else if (FIdle)
      FEvent.SetEvent();
  }
  return true;
}

void THttpWorkerThread::PauseWorker() {
  FPaused = true;
  FEvent.ResetEvent();
}

void THttpWorkerThread::ResumeWorker() {
  FPaused = false;
  if (Suspended())
    Start();
  else
    FEvent.SetEvent();
}

void THttpWorkerThread::Stop() {
  SetFreeOnTerminate(false);
  ResumeWorker();
  Terminate();
  FQueue.Drain();
  {
    // The running task ends with a failure once its client is aborted; its handlers
    // must not run from the pool's release (the splash would start the main program
    // from inside the process's shutdown).
    base::TLockGuard g(FTaskLock);
    if (THttpTask* running = FCurrentTask) running->Cancel();
    FClient->AbortFromOtherThread();
  }
  FEvent.SetEvent();
}

bool THttpWorkerThread::WaitStopped(uint32_t waitMs) {
  if (Suspended() || waitMs == UINT32_MAX) return true;  // Destroy waits for it
  uint32_t start = platform::TickCount();
  while (!Finished()) {
    if (platform::TickCount() - start >= waitMs) return false;
    if (base::IsMainThread())
      base::CheckSynchronize(10);
    else
      platform::SleepMs(10);
  }
  return true;
}

void THttpWorkerThread::Abandon() {
  // The thread reads FreeOnTerminate after its last step: set now, it frees the object
  // itself. Should it have passed that point already, the object stays with the process.
  SetFreeOnTerminate(true);
}

void THttpWorkerThread::WakeIfIdle() {
  if (FIdle && !FPaused) FEvent.SetEvent();
}

bool THttpWorkerThread::Serves(const std::string& host, const std::string& port) {
  base::TLockGuard g(FServerLock);
  if (FConnected) return base::SameText(FConnHost, host) && base::SameText(FConnPort, port);
  return base::SameText(FHost, host) && base::SameText(FPort, port);
}

bool THttpWorkerThread::Accepting() {
  base::TLockGuard g(FServerLock);
  return !FClosing;
}

bool THttpWorkerThread::IsIdle() {
  {
    // Under the task lock a task is either still queued or already the current one
    // (PopTask), never in between: a worker about to run a task is not idle.
    base::TLockGuard g(FTaskLock);
    if (FQueue.Count() != 0 || FCurrentTask) return false;
  }
  base::TLockGuard g(FServerLock);
  return !FConnected;
}

bool THttpWorkerThread::PopTask(THttpTask*& task) {
  base::TLockGuard g(FTaskLock);
  base::TObject* item;
  if (!FQueue.TryPop(item)) return false;
  task = static_cast<THttpTask*>(item);
  FCurrentTask = task;
  return true;
}

void THttpWorkerThread::PublishConnection() {
  net::TQZTCPClient& tcp = FClient->TcpClient();
  base::TLockGuard g(FServerLock);
  FConnected = tcp.Connected();
  if (FConnected) {
    FConnHost = tcp.Host();
    FConnPort = tcp.Port();
  }
}

void THttpWorkerThread::ServeServer(const std::string& url) {
  std::string authority, path, port, host, last;
  if (!net::SplitURL(url, authority, path, port, host, last)) return;
  base::TLockGuard g(FServerLock);
  FHost = host;
  FPort = port.empty() ? "80" : port;
}

bool THttpWorkerThread::CancelTasks(TEventKey key) {
  PauseWorker();
  bool result = false;
  try {
    result = FQueue.RemoveMatching([key](base::TObject* o) { return static_cast<THttpTask*>(o)->Matches(key); });
    base::TLockGuard g(FTaskLock);
    THttpTask* running = FCurrentTask;
    if (running && running->Matches(key)) {
      // The next queued task decides which server the worker serves from now on.
      auto& list = FQueue.LockList();
      std::string nextUrl = list.empty() ? std::string() : static_cast<THttpTask*>(list.front())->Url();
      FQueue.UnlockList();
      if (!nextUrl.empty()) ServeServer(nextUrl);
      running->Cancel();
      FClient->AbortFromOtherThread();
    }
  } catch (...) {
    ResumeWorker();
    throw;
  }
  ResumeWorker();
  return result;
}

void THttpWorkerThread::RunTask(THttpTask* task) {
  {
    base::TLockGuard g(FTaskLock);
    // An abort meant for the previous task must not fail this one; one for this task can
    // only come from now on (under the same lock), and is then kept by the client even
    // when no socket is open yet.
    if (!Terminated()) FClient->ClearAbortRequest();
    FCurrentTask = task;
    // A task canceled before it started is released without a request.
    if (task->Canceled() || Terminated()) {
      FCurrentTask = nullptr;
      delete task;
      return;
    }
  }
  auto release = [&] {
    PublishConnection();
    while (FPaused && !Terminated()) platform::SleepMs(10);
    base::TLockGuard g(FTaskLock);
    FCurrentTask = nullptr;
    delete task;
  };
  try {
    task->Run(*FClient);
  } catch (...) {
    release();
    throw;
  }
  release();
}

void THttpWorkerThread::Execute() {
  try {
    while (!Terminated()) {
      THttpTask* next;
      while (!Terminated() && PopTask(next)) RunTask(next);
      if (Terminated()) break;
      THttpTask* waiting;
      if (FPool && FPool->TakeQueuedTask(waiting)) {
        RunTask(waiting);
        continue;
      }
      FIdle = true;
      if (FQueue.Count() == 0) {
        int64_t keep = static_cast<int64_t>(FClient->KeepAliveRemaining()) * 1000;
        int64_t idle = std::max<int64_t>(static_cast<int64_t>(FIdleTimeout) - keep, 0);
        if (keep > 0 && !Terminated()) {
          if (FEvent.WaitFor(static_cast<uint32_t>(keep)) == base::TWaitResult::wrSignaled)
            idle = 0;
          else {
            FClient->Abort();  // the kept-alive connection has run out
            PublishConnection();
          }
        }
        if (idle > 0 && !Terminated() && FEvent.WaitFor(static_cast<uint32_t>(idle)) != base::TWaitResult::wrSignaled) {
          // 30 s without work: the worker ends, unless a task arrived just now.
          base::TLockGuard g(FServerLock);
          if (FQueue.Count() == 0 && !(FPool && FPool->QueuedCount() > 0)) {
            FClosing = true;
            Terminate();
          }
        }
        FEvent.ResetEvent();
      }
      FIdle = false;
    }
  } catch (...) {
    HandleThreadException();
  }
}

}  // namespace download
