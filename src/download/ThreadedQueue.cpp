#include "download/ThreadedQueue.h"

#include "base/Exceptions.h"

namespace download {

using base::TLockGuard;
using base::TObject;

TThreadedQueue::~TThreadedQueue() { Clear(); }

int TThreadedQueue::Count() {
  TLockGuard g(FLock);
  return static_cast<int>(FList.size());
}

TObject* TThreadedQueue::Push(TObject* item) {
  TLockGuard g(FLock);
  FList.push_back(item);
  return item;
}

TObject* TThreadedQueue::Pop() {
  TLockGuard g(FLock);
  if (FList.empty()) base::RaiseListIndexError(-1);
  TObject* item = FList.front();
  FList.erase(FList.begin());
  return item;
}

TObject* TThreadedQueue::Peek() {
  TLockGuard g(FLock);
  if (FList.empty()) base::RaiseListIndexError(-1);
  return FList.front();
}

bool TThreadedQueue::TryPop(TObject*& item) {
  TLockGuard g(FLock);
  if (FList.empty()) return false;
  item = FList.front();
  FList.erase(FList.begin());
  return true;
}

void TThreadedQueue::Clear() {
  TLockGuard g(FLock);
  FList.clear();
}

void TThreadedQueue::Drain() {
  TObject* item;
  while (TryPop(item)) delete item;
}

bool TThreadedQueue::RemoveMatching(const std::function<bool(TObject*)>& matches) {
  bool removed = false;
  LockList();
  try {
    for (size_t i = FList.size(); i-- > 0;) {
      TObject* item = FList[i];
      if (matches(item)) {
        FList.erase(FList.begin() + static_cast<std::ptrdiff_t>(i));
        delete item;
        removed = true;
      }
    }
  } catch (...) {
    UnlockList();
    throw;
  }
  UnlockList();
  return removed;
}

TThreadedQueue::TItems& TThreadedQueue::LockList() {
  FLock.Enter();
  return FList;
}

void TThreadedQueue::UnlockList() { FLock.Leave(); }

}  // namespace download
