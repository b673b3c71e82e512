// THttpWorkerThread: one download worker of the pool. It owns one THTTPClient and its own
// task queue, serves one server (host and port) at a time so that consecutive requests
// reuse the open connection, keeps that connection for the announced keep-alive time,
// and ends itself after 30 s without work in total.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "base/SyncObjs.h"
#include "download/HttpTask.h"
#include "download/QZThread.h"
#include "download/ThreadedQueue.h"
#include "net/HttpClient.h"

namespace download {

class THttpThreadPool;

class THttpWorkerThread : public TQZThread {
 public:
  // Created suspended; the first Enqueue with wake starts it.
  THttpWorkerThread(THttpThreadPool* pool, std::string host, std::string port);
  // Releases every queued task unnotified, aborts the client, wakes and waits for the
  // thread. Main thread.
  ~THttpWorkerThread() override;

  // Takes ownership of task. Main thread. False (task not taken) when the worker is
  // already ending after its idle time.
  bool Enqueue(THttpTask* task, bool wake);
  // Removes and releases queued tasks matching key; a running match is marked canceled
  // and its client aborted. True when a queued task was removed.
  bool CancelTasks(TEventKey key);
  void PauseWorker();
  void ResumeWorker();
  // The pool's release: the worker will not free itself, its queued tasks are released
  // unnotified, a running request is aborted and every wait ends. Main thread; the
  // caller then waits for the thread (Destroy).
  void Stop();
  // After Stop: waits up to waitMs (UINT32_MAX: without limit) for the thread to end,
  // serving synchronised calls meanwhile. False when it is still running.
  bool WaitStopped(uint32_t waitMs);
  // After a WaitStopped that timed out: the worker frees itself when its thread ends
  // (or goes with the process). Nobody may use it afterwards.
  void Abandon();
  // Wakes the worker when it waits for work, so that it looks at the pool's queue.
  void WakeIfIdle();

  // The server this worker serves: the client's connection while connected, else the
  // host and port it was made for.
  bool Serves(const std::string& host, const std::string& port);
  // No queued work and no open connection: it may take a task for any server.
  bool IsIdle();
  // False once the worker decided to end; it takes no more tasks.
  bool Accepting();
  int QueueCount() { return FQueue.Count(); }
  // The worker's own client (its settings may be changed before the first task).
  net::THTTPClient& Client() { return *FClient; }

  uint32_t FIdleTimeout = 30000;  // ms without work before the worker ends

 protected:
  void Execute() override;

 private:
  // Takes the next queued task and makes it the current one, in one step.
  bool PopTask(THttpTask*& task);
  void RunTask(THttpTask* task);
  void ServeServer(const std::string& url);

  THttpThreadPool* FPool;
  std::unique_ptr<net::THTTPClient> FClient;
  TThreadedQueue FQueue;
  std::atomic<THttpTask*> FCurrentTask{nullptr};
  // Held while the main thread uses the running task and while the worker lets go of
  // it, so a cancel never reaches a task that is being released.
  base::TCriticalSection FTaskLock;
  base::TEvent FEvent{true, false};
  base::TCriticalSection FServerLock;  // FHost/FPort are read by the main thread
  std::string FHost;
  std::string FPort;
  std::atomic<bool> FPaused{false};
  std::atomic<bool> FIdle{false};
  bool FClosing = false;  // under FServerLock
  // What the main thread may know of the client, published by the worker thread under
  // FServerLock after each task and each dropped connection (the client itself belongs
  // to the worker thread).
  bool FConnected = false;
  std::string FConnHost;
  std::string FConnPort;
  void PublishConnection();
};

}  // namespace download
