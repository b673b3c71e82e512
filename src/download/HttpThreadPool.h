// THttpThreadPool: the process-wide pool of up to ten download workers, one per server
// at a time. Tasks go to the worker that serves their server, else to an idle worker,
// else to a new one; with ten workers busy elsewhere they wait in the pool's queue until
// a worker finishes its own queue. Tasks are added and canceled on the main thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/List.h"
#include "base/SyncObjs.h"
#include "download/HttpTask.h"
#include "download/ThreadedQueue.h"

namespace download {

class THttpWorkerThread;
using TWorkerCreatedEvent = base::TClosure<THttpWorkerThread*>;

class THttpThreadPool : public base::TObject {
 public:
  THttpThreadPool();
  // Releases every queued task unnotified and every worker (waiting for each). No
  // handler of a task runs from here on.
  ~THttpThreadPool() override;
  // Stops every worker and waits up to waitMs in all for them (see ReleaseHttpThreadPool).
  void Shutdown(uint32_t waitMs);

  // Gives a task (ownership included) to a worker or the pool's queue. Always true.
  bool AddTask(THttpTask* task, bool wake);
  // Cancels the tasks whose events match key; a key with neither code nor context is
  // refused (false).
  bool CancelTasks(TEventKey key);

  THttpWorkerThread* FindWorker(const std::string& host, const std::string& port);
  THttpWorkerThread* GetWorker(const std::string& host, const std::string& port);
  THttpWorkerThread* CreateWorker(const std::string& host, const std::string& port);
  int WorkerCount();
  // The atomic take of the next waiting task (workers call it).
  bool TakeQueuedTask(THttpTask*& task);
  int QueuedCount() { return FQueue.Count(); }

  int MaxWorkers = 10;
  TWorkerCreatedEvent OnWorkerCreated;

 private:
  void WorkerTerminated(base::TObject* sender);
  // Puts a task no worker could take into the pool's queue and wakes the idle workers.
  void ParkTask(THttpTask* task);
  TThreadedQueue FQueue;
  base::TList FWorkers;  // the pool releases its workers itself (they must stop first)
  base::TCriticalSection FLock;
};

// The process-wide pool, created on first use and released at process end.
THttpThreadPool& HttpThreadPool();
// Releases the pool now (tests and shutdown); the next HttpThreadPool() makes a new one.
// A worker that has not stopped within waitMs (stuck in a name lookup or a connect that
// nothing interrupts) is left behind to free itself when it ends or with the process.
void ReleaseHttpThreadPool(uint32_t waitMs = UINT32_MAX);

}  // namespace download
