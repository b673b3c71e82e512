#include "download/HttpThreadPool.h"

#include <mutex>
#include <vector>

#include "base/Thread.h"
#include "download/HttpWorkerThread.h"
#include "net/HTTPApp.h"
#include "platform/Clock.h"

namespace download {

THttpThreadPool::THttpThreadPool() = default;

THttpThreadPool::~THttpThreadPool() { Shutdown(UINT32_MAX); }

void THttpThreadPool::Shutdown(uint32_t waitMs) {
  FQueue.Drain();
  std::vector<THttpWorkerThread*> workers;
  {
    base::TLockGuard g(FLock);
    while (FWorkers.Count() > 0) {
      auto* w = static_cast<THttpWorkerThread*>(FWorkers.Last());
      FWorkers.Extract(w);
      workers.push_back(w);
    }
  }
  // Every worker is told to stop first, so they all wind down at once.
  for (THttpWorkerThread* w : workers) {
    w->OnTerminate = {};
    w->Stop();
  }
  uint32_t start = platform::TickCount();
  for (THttpWorkerThread* w : workers) {
    uint32_t spent = platform::TickCount() - start;
    if (w->WaitStopped(waitMs == UINT32_MAX ? waitMs : waitMs > spent ? waitMs - spent : 0))
      w->Destroy();
    else
      w->Abandon();
  }
}

int THttpThreadPool::WorkerCount() {
  base::TLockGuard g(FLock);
  return FWorkers.Count();
}

bool THttpThreadPool::TakeQueuedTask(THttpTask*& task) {
  base::TObject* item;
  if (!FQueue.TryPop(item)) return false;
  task = static_cast<THttpTask*>(item);
  return true;
}

THttpWorkerThread* THttpThreadPool::FindWorker(const std::string& host, const std::string& port) {
  base::TLockGuard g(FLock);
  for (int i = 0; i < FWorkers.Count(); ++i) {
    auto* w = static_cast<THttpWorkerThread*>(FWorkers[i]);
    if (w->Accepting() && (w->IsIdle() || w->Serves(host, port))) return w;
  }
  return nullptr;
}

THttpWorkerThread* THttpThreadPool::CreateWorker(const std::string& host, const std::string& port) {
  auto* w = new THttpWorkerThread(this, host, port);
  w->OnTerminate = base::Method<&THttpThreadPool::WorkerTerminated>(this);
  {
    base::TLockGuard g(FLock);
    FWorkers.Add(w);
  }
  if (OnWorkerCreated) OnWorkerCreated(w);
  return w;
}

THttpWorkerThread* THttpThreadPool::GetWorker(const std::string& host, const std::string& port) {
  THttpWorkerThread* w = FindWorker(host, port);
  if (!w && WorkerCount() < MaxWorkers) w = CreateWorker(host, port);
  return w;
}

bool THttpThreadPool::AddTask(THttpTask* task, bool wake) {
  std::string authority, path, port, host, last;
  // A URL that cannot be split still goes to a worker (an idle one or a new one), whose
  // request then fails and reports it; parked in the pool's queue it could wait forever.
  if (net::SplitURL(task->Url(), authority, path, port, host, last) && port.empty()) port = "80";
  THttpWorkerThread* worker = GetWorker(host, port);
  if (!worker || !worker->Enqueue(task, wake)) {
    // An ending worker refused it: a new worker, or the pool's queue.
    worker = worker && WorkerCount() < MaxWorkers ? CreateWorker(host, port) : nullptr;
    if (!worker || !worker->Enqueue(task, wake)) ParkTask(task);
  }
  return true;
}

bool THttpThreadPool::CancelTasks(TEventKey key) {
  if (key.Empty()) return false;
  base::TLockGuard g(FLock);
  bool result = FQueue.RemoveMatching([key](base::TObject* o) { return static_cast<THttpTask*>(o)->Matches(key); });
  for (int i = 0; i < FWorkers.Count(); ++i)
    result = static_cast<THttpWorkerThread*>(FWorkers[i])->CancelTasks(key) && result;
  return result;
}

void THttpThreadPool::ParkTask(THttpTask* task) {
  FQueue.Push(task);
  // A worker waiting on a kept-alive connection to another server would otherwise sit
  // out its keep-alive and idle times and end without ever looking at this task.
  base::TLockGuard g(FLock);
  for (int i = 0; i < FWorkers.Count(); ++i) static_cast<THttpWorkerThread*>(FWorkers[i])->WakeIfIdle();
}

void THttpThreadPool::WorkerTerminated(base::TObject* sender) {
  // Runs on the main thread while the ending worker waits. A worker that frees itself
  // only leaves the list; the pool releases the others itself (Shutdown).
  {
    base::TLockGuard g(FLock);
    FWorkers.Extract(sender);
  }
  // A worker that ended anyway (a handler raised) leaves room for one that takes the
  // waiting tasks; without it they would wait for the next AddTask.
  THttpTask* waiting;
  if (TakeQueuedTask(waiting)) AddTask(waiting, true);
}

namespace {
std::mutex gPoolLock;
THttpThreadPool* gPool = nullptr;
struct TPoolRelease {
  ~TPoolRelease() { ReleaseHttpThreadPool(); }
} gPoolRelease;
}  // namespace

THttpThreadPool& HttpThreadPool() {
  std::lock_guard<std::mutex> g(gPoolLock);
  if (!gPool) gPool = new THttpThreadPool;
  return *gPool;
}

void ReleaseHttpThreadPool(uint32_t waitMs) {
  THttpThreadPool* pool;
  {
    std::lock_guard<std::mutex> g(gPoolLock);
    pool = gPool;
    gPool = nullptr;
  }
  if (!pool) return;
  pool->Shutdown(waitMs);
  delete pool;
}

}  // namespace download
