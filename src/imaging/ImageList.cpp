#include "imaging/ImageList.h"

#include <algorithm>

namespace imaging {

TGPImageList::~TGPImageList() { Clear(); }

void TGPImageList::Add(TGPImageAnimator* animator) {
  FLock.BeginWrite();
  try {
    RemoveLocked(animator->Image(), animator->Handler.Code);
    FItems.push_back(animator);
    animator->FList.store(this, std::memory_order_relaxed);
  } catch (...) {
    FLock.EndWrite();
    throw;
  }
  FLock.EndWrite();
}

void TGPImageList::Remove(IAnimatedImage* image, TFrameChangeEvent::TCode code) {
  FLock.BeginWrite();
  RemoveLocked(image, code);
  FLock.EndWrite();
}

void TGPImageList::RemoveLocked(IAnimatedImage* image, TFrameChangeEvent::TCode code) {
  auto gone = std::stable_partition(FItems.begin(), FItems.end(), [&](TGPImageAnimator* a) {
    return !(a->Image() == image && (code == nullptr || a->Handler.Code == code));
  });
  std::vector<TGPImageAnimator*> removed(gone, FItems.end());
  FItems.erase(gone, FItems.end());
  for (TGPImageAnimator* a : removed) {
    a->FList.store(nullptr, std::memory_order_relaxed);
    if (FOwnsObjects) delete a;
  }
}

void TGPImageList::Clear() {
  FLock.BeginWrite();
  std::vector<TGPImageAnimator*> removed;
  removed.swap(FItems);
  FLock.EndWrite();
  for (TGPImageAnimator* a : removed) {
    a->FList.store(nullptr, std::memory_order_relaxed);
    if (FOwnsObjects) delete a;
  }
}

int32_t TGPImageList::Count() {
  TImageListReadLock lock(*this);
  return static_cast<int32_t>(FItems.size());
}

bool TGPImageList::Contains(const TGPImageAnimator* animator) {
  TImageListReadLock lock(*this);
  return std::find(FItems.begin(), FItems.end(), animator) != FItems.end();
}

}  // namespace imaging
