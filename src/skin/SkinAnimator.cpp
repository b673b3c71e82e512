#include "skin/SkinAnimator.h"

#include <algorithm>
#include <mutex>

#include "platform/Thread.h"

namespace skin {

namespace {

// The process-wide thread and its bookkeeping, guarded by gLock. A thread that ended
// itself waits in gRetired until the GUI thread joins and frees it (never during a
// notification pass, which may be running over its list).
std::mutex gLock;
TSkinAnimatorThread* gThread = nullptr;
std::vector<TSkinAnimatorThread*> gRetired;
int32_t gPassDepth = 0;
int32_t gCreated = 0;
std::atomic<ISkinAnimatorHost*> gHost{nullptr};
std::atomic<uint32_t> gIdleExitMs{kSkinAnimatorIdleExitMs};

void Post(uint32_t message, TSkinAnimator* animator) {
  if (ISkinAnimatorHost* host = gHost.load()) host->Post(message, animator);
}

// Takes the retired threads out (under gLock) unless a pass runs; the caller frees them
// after releasing the lock.
std::vector<TSkinAnimatorThread*> TakeRetired() {
  if (gPassDepth > 0) return {};
  return std::exchange(gRetired, {});
}

void FreeThreads(const std::vector<TSkinAnimatorThread*>& threads) {
  for (TSkinAnimatorThread* t : threads) t->Destroy();
}

// Keeps threads from being freed while a GUI-thread pass runs over one of them.
class TPassPin {
 public:
  TPassPin() {
    std::lock_guard<std::mutex> l(gLock);
    ++gPassDepth;
    FThread = gThread;
  }
  ~TPassPin() {
    std::lock_guard<std::mutex> l(gLock);
    --gPassDepth;
  }
  TSkinAnimatorThread* Thread() const { return FThread && !FThread->Terminated() ? FThread : nullptr; }

 private:
  TSkinAnimatorThread* FThread;
};

}  // namespace

// ---- animators ----

TSkinAnimator::~TSkinAnimator() { SetActive(false); }

void TSkinAnimator::SetActive(bool active) {
  if (active == FActive) return;
  FActive = active;
  if (active)
    Start();
  else
    Stop();
}

void TSkinAnimator::Start() {
  if (!CanAnimate || FRegistered) return;
  std::vector<TSkinAnimatorThread*> retired;
  {
    std::lock_guard<std::mutex> l(gLock);
    retired = TakeRetired();
    if (!gThread) {
      gThread = new TSkinAnimatorThread();
      ++gCreated;
    }
    gThread->Add(this);
    FRegistered = true;
  }
  FreeThreads(retired);
}

void TSkinAnimator::Stop() {
  if (!FRegistered) return;
  std::lock_guard<std::mutex> l(gLock);
  if (gThread) gThread->Remove(this);
  FRegistered = false;
}

void TSkinAnimator::NotifyChange() {
  if (Changed.load() && OnChange) OnChange(this);
  Changed = false;
}

// ---- the list ----

void TSkinAniImageList::Add(TSkinAnimator* animator) {
  FLock.BeginWrite();
  FItems.push_back(animator);
  FLock.EndWrite();
}

void TSkinAniImageList::Remove(TSkinAnimator* animator) {
  FLock.BeginWrite();
  for (size_t i = FItems.size(); i-- > 0;)
    if (FItems[i] == animator) {
      if (FOwnsObjects) delete animator;
      FItems.erase(FItems.begin() + static_cast<ptrdiff_t>(i));
    }
  FLock.EndWrite();
}

void TSkinAniImageList::Clear() {
  FLock.BeginWrite();
  std::vector<TSkinAnimator*> items = std::move(FItems);
  FItems.clear();
  FLock.EndWrite();
  if (FOwnsObjects)
    for (TSkinAnimator* a : items) delete a;
}

int32_t TSkinAniImageList::Count() {
  FLock.BeginRead();
  auto n = static_cast<int32_t>(FItems.size());
  FLock.EndRead();
  return n;
}

TSkinAnimator* TSkinAniImageList::Item(int32_t index) {
  FLock.BeginRead();
  TSkinAnimator* a =
      index >= 0 && static_cast<size_t>(index) < FItems.size() ? FItems[static_cast<size_t>(index)] : nullptr;
  FLock.EndRead();
  return a;
}

bool TSkinAniImageList::Contains(TSkinAnimator* animator) {
  FLock.BeginRead();
  bool found = std::find(FItems.begin(), FItems.end(), animator) != FItems.end();
  FLock.EndRead();
  return found;
}

void TSkinAniImageList::StepAll(const base::TThread& thread) {
  bool changed = false;
  FLock.BeginRead();
  try {
    for (TSkinAnimator* a : FItems) {
      if (thread.Terminated()) break;
      a->Step();
      changed = changed || a->Changed.load();
    }
  } catch (...) {
    FLock.EndRead();
    throw;
  }
  FLock.EndRead();
  if (changed) Dirty = true;
}

void TSkinAniImageList::NotifyPass() {
  if (!Dirty.load()) return;
  FLock.BeginRead();
  std::vector<TSkinAnimator*> snapshot = FItems;
  FLock.EndRead();
  // A handler may stop (and free) any animator: each is checked before it is called.
  for (TSkinAnimator* a : snapshot)
    if (Contains(a)) a->NotifyChange();
  Dirty = false;
}

// ---- the thread ----

void SetSkinAnimatorHost(ISkinAnimatorHost* host) { gHost = host; }
void SetSkinAnimatorIdleExitMs(uint32_t ms) { gIdleExitMs = ms; }

TSkinAnimatorThread::TSkinAnimatorThread() : TThread(true) {}

void TSkinAnimatorThread::Add(TSkinAnimator* animator) {
  if (Terminated()) return;
  FList.Add(animator);
  if (Suspended())
    Start();
  else
    FWake.SetEvent();
}

void TSkinAnimatorThread::Execute() {
  try {
    Run();
  } catch (...) {
    // An animator's error ends this thread; the next Start makes a new one.
    Retire();
    throw;
  }
}

void TSkinAnimatorThread::Retire() {
  std::lock_guard<std::mutex> l(gLock);
  if (gThread == this) {
    gThread = nullptr;
    gRetired.push_back(this);
  }
}

void TSkinAnimatorThread::Run() {
  while (!Terminated()) {
    while (!Terminated() && FList.Count() > 0) {
      FList.StepAll(*this);
      if (FList.Dirty.load()) Post(WM_SKINANI_NOTIFY, nullptr);
      platform::SleepMs(kSkinAnimatorTickMs);
    }
    {
      // Adds happen under gLock, so no wake-up is lost between this reset and the wait.
      std::lock_guard<std::mutex> l(gLock);
      if (Terminated()) return;
      if (FList.Count() > 0) continue;
      FWake.ResetEvent();
    }
    FWake.WaitFor(gIdleExitMs.load());
    std::lock_guard<std::mutex> l(gLock);
    if (Terminated()) return;
    if (FList.Count() == 0) {
      // Leaving: from now on a Start makes a new thread; the GUI thread frees this one.
      if (gThread == this) {
        gThread = nullptr;
        gRetired.push_back(this);
      }
      return;
    }
  }
}

void TSkinAnimatorThread::Destroy() {
  Terminate();
  FWake.SetEvent();
  TThread::Destroy();
}

TSkinAnimatorThread* SkinAnimatorThread() {
  std::lock_guard<std::mutex> l(gLock);
  return gThread;
}

int32_t SkinAnimatorThreadsCreated() {
  std::lock_guard<std::mutex> l(gLock);
  return gCreated;
}

void FreeSkinAnimatorThread() {
  std::vector<TSkinAnimatorThread*> threads;
  {
    std::lock_guard<std::mutex> l(gLock);
    threads = TakeRetired();
    if (gThread) threads.push_back(std::exchange(gThread, nullptr));
  }
  for (TSkinAnimatorThread* t : threads) {
    try {
      t->Destroy();
    } catch (...) {
      // Shutdown goes on whatever one thread says.
    }
  }
}

void SkinAnimatorNotifyPass() {
  TPassPin pin;
  if (TSkinAnimatorThread* t = pin.Thread()) t->List().NotifyPass();
}

void SkinAnimatorChange(TSkinAnimator* animator) {
  TPassPin pin;
  TSkinAnimatorThread* t = pin.Thread();
  if (t && animator && t->List().Contains(animator)) animator->NotifyChange();
}

}  // namespace skin
