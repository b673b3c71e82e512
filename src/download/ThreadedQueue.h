// TThreadedQueue: a first-in-first-out queue of object references guarded by one
// re-entrant critical section. It never owns its objects (Clear drops references) and
// never blocks: a consumer that finds it empty waits on something else.
#pragma once

#include <functional>
#include <vector>

#include "base/Object.h"
#include "base/SyncObjs.h"

namespace download {

class TThreadedQueue : public base::TObject {
 public:
  using TItems = std::vector<base::TObject*>;

  ~TThreadedQueue() override;
  int Count();
  base::TObject* Push(base::TObject* item);
  // Removes and returns the oldest entry; on an empty queue raises EListError
  // "List index out of bounds (-1)" and leaves the queue as it was.
  base::TObject* Pop();
  base::TObject* Peek();
  // The atomic take: pops the head into item when there is one, under one lock, so two
  // consumers can never both see Count 1 and both Pop.
  bool TryPop(base::TObject*& item);
  void Clear();
  // Pops every entry and releases the object (the queue's owner drains at shutdown).
  void Drain();
  // Under the lock, walks from the last entry to the first; every entry that matches is
  // released and removed. True when at least one entry was removed.
  bool RemoveMatching(const std::function<bool(base::TObject*)>& matches);

  // Direct compound access: the caller must call UnlockList afterwards, also on failure.
  TItems& LockList();
  void UnlockList();

 private:
  TItems FList;
  base::TCriticalSection FLock;
};

}  // namespace download
