#include "download/HttpThreadPool.h"

#include <mutex>

#include "base/Thread.h"
#include "download/HttpWorkerThread.h"
#include "net/HTTPApp.h"

namespace download {

namespace {

// Stops a worker that its owner is about to release: nothing queued is notified, a
// running request is aborted, and the thread is waited for (the main thread keeps
// serving synchronised calls meanwhile). Its OnTerminate is dropped first, so the pool
// is not called back about a worker it is already releasing.
void StopWorker(THttpWorkerThread* w) {
  w->OnTerminate = {};
  w->Stop();
  w->Destroy();
}

}  // namespace

THttpThreadPool::THttpThreadPool() = default;

THttpThreadPool::~THttpThreadPool() {
  FQueue.Drain();
  base::TLockGuard g(FLock);
  while (FWorkers.Count() > 0) {
    auto* w = static_cast<THttpWorkerThread*>(FWorkers.Last());
    FWorkers.Extract(w);
    StopWorker(w);
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
    if (!worker || !worker->Enqueue(task, wake)) FQueue.Push(task);
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

void THttpThreadPool::WorkerTerminated(base::TObject* sender) {
  // Runs on the main thread while the ending worker waits. A worker that frees itself
  // only leaves the list; the pool releases the others itself (StopWorker).
  base::TLockGuard g(FLock);
  FWorkers.Extract(sender);
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

void ReleaseHttpThreadPool() {
  THttpThreadPool* pool;
  {
    std::lock_guard<std::mutex> g(gPoolLock);
    pool = gPool;
    gPool = nullptr;
  }
  delete pool;
}

}  // namespace download
