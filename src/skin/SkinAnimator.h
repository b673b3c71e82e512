// Skin animation: TSkinAnimator (one animated state), TSkinAniImageList (the animators
// under a multi-reader/single-writer lock) and the one process-wide thread that steps
// every registered animator every 50 ms and hands change notifications to the GUI
// thread through the host's posted messages (2024, 2025).
//
// The thread is created on the first Start, waits up to 8000 ms for work once its list
// is empty and then ends itself. That exit and a new registration are decided under one
// process-wide lock, so a Start never adds to a thread that is leaving: it either reuses
// the running thread or makes a new one (the old one is joined and freed then, or at
// shutdown). Step runs on the animator thread; NotifyChange only ever runs on the GUI
// thread, with the list lock released, so a handler may stop any animation.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "base/Object.h"
#include "base/SyncObjs.h"
#include "base/Thread.h"

namespace skin {

constexpr uint32_t WM_SKINANI_CHANGE = 0x0400 + 1000;  // 2024: one animator's NotifyChange
constexpr uint32_t WM_SKINANI_NOTIFY = 0x0400 + 1001;  // 2025: a notification pass
constexpr uint32_t kSkinAnimatorTickMs = 50;
constexpr uint32_t kSkinAnimatorIdleExitMs = 8000;

class TSkinAnimator;
using TSkinAnimatorEvent = base::TClosure<TSkinAnimator*>;

class TSkinAnimator : public base::TObject {
 public:
  // A concrete animator's destructor must call Stop() first: the thread may be inside
  // Step until Stop returns.
  ~TSkinAnimator() override;

  bool Active() const { return FActive; }
  // On a change: stores it and calls Start (true) or Stop (false). GUI thread.
  void SetActive(bool active);
  // Registers with the process-wide thread when CanAnimate and not yet registered.
  void Start();
  void Stop();
  bool Registered() const { return FRegistered; }

  // GUI thread: calls OnChange when Changed, then clears Changed.
  virtual void NotifyChange();
  // One tick on the animator thread; set Changed when the frame moved.
  virtual void Step() = 0;
  virtual void DisableAnimation() { CanAnimate = false; }

  TSkinAnimatorEvent OnChange;
  std::atomic<bool> CanAnimate{true};
  std::atomic<bool> Changed{false};

 private:
  bool FActive = false;
  bool FRegistered = false;  // GUI thread only
};

class TSkinAniImageList {
 public:
  explicit TSkinAniImageList(bool ownsObjects = false) : FOwnsObjects(ownsObjects) {}
  ~TSkinAniImageList() { Clear(); }
  void Add(TSkinAnimator* animator);
  // Removes every occurrence, scanning from the end.
  void Remove(TSkinAnimator* animator);
  void Clear();
  int32_t Count();
  TSkinAnimator* Item(int32_t index);
  bool Contains(TSkinAnimator* animator);
  // Animator thread: Step on each animator in order under the read lock, stopping early
  // once stop is set; marks the list dirty when one changed.
  void StepAll(const base::TThread& thread);
  // GUI thread: when dirty, NotifyChange of every animator still in the list (read
  // in list order under the read lock, called without it), then clears Dirty.
  void NotifyPass();
  std::atomic<bool> Dirty{false};

 private:
  base::TMultiReadExclusiveWriteSynchronizer FLock;
  std::vector<TSkinAnimator*> FItems;
  bool FOwnsObjects;
};

// Where the thread's notifications go: the GUI thread's message window in the product,
// a queue pumped by the test thread in tests. Posting never blocks.
class ISkinAnimatorHost {
 public:
  virtual ~ISkinAnimatorHost() = default;
  virtual void Post(uint32_t message, TSkinAnimator* animator) = 0;
};
// Installs the host (not owned; null posts nothing). Set before the first Start.
void SetSkinAnimatorHost(ISkinAnimatorHost* host);

class TSkinAnimatorThread : public base::TThread {
 public:
  TSkinAnimatorThread();
  TSkinAniImageList& List() { return FList; }
  // Ignored once terminated; appends, then resumes or wakes the thread.
  void Add(TSkinAnimator* animator);
  void Remove(TSkinAnimator* animator) { FList.Remove(animator); }
  void Destroy() override;

 protected:
  void Execute() override;

 private:
  void Run();
  void Retire();
  TSkinAniImageList FList;
  base::TEvent FWake{true, false};
};

// The running process-wide thread, or null (tests and diagnostics).
TSkinAnimatorThread* SkinAnimatorThread();
// How many animator threads were created so far (tests: reuse versus a new thread).
int32_t SkinAnimatorThreadsCreated();
// The idle wait before a thread without animators ends itself (tests shorten it).
void SetSkinAnimatorIdleExitMs(uint32_t ms);
// Unit shutdown: stops and frees the thread (and one that ended itself). GUI thread.
void FreeSkinAnimatorThread();

// GUI-thread ends of the posted messages; ignored while the thread is terminating.
void SkinAnimatorNotifyPass();                     // 2025
void SkinAnimatorChange(TSkinAnimator* animator);  // 2024

}  // namespace skin
