// Synchronisation objects: a re-entrant critical section, a manual-reset event and a
// multi-reader/single-writer lock.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "base/Object.h"

namespace base {

// Re-entrant: the owning thread may Enter again; each Enter needs its Leave.
class TCriticalSection : public TObject {
 public:
  void Enter() { FLock.lock(); }
  void Leave() { FLock.unlock(); }
  bool TryEnter() { return FLock.try_lock(); }
  void Acquire() { Enter(); }
  void Release() { Leave(); }

 private:
  std::recursive_mutex FLock;
};

// Holds a critical section for one scope.
class TLockGuard {
 public:
  explicit TLockGuard(TCriticalSection& cs) : FCs(cs) { FCs.Enter(); }
  ~TLockGuard() { FCs.Leave(); }
  TLockGuard(const TLockGuard&) = delete;
  TLockGuard& operator=(const TLockGuard&) = delete;

 private:
  TCriticalSection& FCs;
};

enum class TWaitResult { wrSignaled, wrTimeout, wrAbandoned, wrError };

// An event that stays signalled until reset (or auto-resets after releasing one waiter
// when created so).
class TEvent : public TObject {
 public:
  explicit TEvent(bool manualReset = true, bool initialState = false)
      : FManualReset(manualReset), FSignaled(initialState) {}
  void SetEvent();
  void ResetEvent();
  // timeoutMs 0xFFFFFFFF waits without a bound.
  TWaitResult WaitFor(uint32_t timeoutMs);
  bool IsSet();

 private:
  std::mutex FLock;
  std::condition_variable FChanged;
  bool FManualReset;
  bool FSignaled;
};

// Many readers or one writer. The writer may take read or write again while it holds
// the write lock; a reader must not ask for the write lock while it reads.
class TMultiReadExclusiveWriteSynchronizer : public TObject {
 public:
  void BeginRead();
  void EndRead();
  void BeginWrite();
  void EndWrite();

 private:
  std::mutex FLock;
  std::condition_variable FChanged;
  int FReaders = 0;
  int FWriterDepth = 0;
  uint32_t FWriter = 0;
  int FWaitingWriters = 0;
};

}  // namespace base
