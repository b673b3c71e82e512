// TGPImageList: the animators the animator thread ticks, guarded by a multi-reader/
// single-writer lock: the thread ticks under the read lock, the GUI thread adds and
// removes under the write lock and so waits for a running pass.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "base/SyncObjs.h"
#include "imaging/ImageAnimator.h"

namespace imaging {

class TGPImageList : public base::TObject {
 public:
  // An owning list frees the animators it removes, and the rest when it goes.
  explicit TGPImageList(bool ownsObjects) : FOwnsObjects(ownsObjects) {}
  ~TGPImageList() override;

  // Adds the animator after removing every animator of the same image with the same
  // handler code (one animator per picture and image).
  void Add(TGPImageAnimator* animator);
  // Removes the animators of the image with the handler code (any handler when code is
  // null). The caller may hold the write lock.
  void Remove(IAnimatedImage* image, TFrameChangeEvent::TCode code);
  void Clear();
  // Read under the lock, so a count taken on one thread never tears against a change on
  // another.
  int32_t Count();
  bool Contains(const TGPImageAnimator* animator);
  // The animator at index; the caller holds the read or write lock.
  TGPImageAnimator* Items(int32_t index) const { return FItems[static_cast<size_t>(index)]; }
  int32_t UnlockedCount() const { return static_cast<int32_t>(FItems.size()); }

  void BeginRead() { FLock.BeginRead(); }
  void EndRead() { FLock.EndRead(); }
  void BeginWrite() { FLock.BeginWrite(); }
  void EndWrite() { FLock.EndWrite(); }

  // Some animator changed its frame; a notification pass is due.
  bool Dirty() const { return FDirty.load(std::memory_order_relaxed); }
  void SetDirty(bool dirty) { FDirty.store(dirty, std::memory_order_relaxed); }

 private:
  void RemoveLocked(IAnimatedImage* image, TFrameChangeEvent::TCode code);

  base::TMultiReadExclusiveWriteSynchronizer FLock;
  std::vector<TGPImageAnimator*> FItems;
  bool FOwnsObjects;
  std::atomic<bool> FDirty{false};
};

// Holds the list's read lock for one scope.
class TImageListReadLock {
 public:
  explicit TImageListReadLock(TGPImageList& list) : FList(list) { FList.BeginRead(); }
  ~TImageListReadLock() { FList.EndRead(); }
  TImageListReadLock(const TImageListReadLock&) = delete;
  TImageListReadLock& operator=(const TImageListReadLock&) = delete;

 private:
  TGPImageList& FList;
};

}  // namespace imaging
