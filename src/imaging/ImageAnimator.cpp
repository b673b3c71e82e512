#include "imaging/ImageAnimator.h"

#include <memory>

#include "imaging/AnimatorThread.h"
#include "imaging/ImageList.h"

namespace imaging {

TGPImageAnimator::TGPImageAnimator(IAnimatedImage* image) : FImage(image) {
  int32_t frames = image ? image->TimeFrameCount() : 0;
  if (frames > 1) {
    FFrameCount = frames;
    FDelays.assign(static_cast<size_t>(frames), 0);
    std::vector<uint32_t> stored;
    if (image->ReadFrameDelays(stored) && stored.size() >= FDelays.size()) {
      for (size_t i = 0; i < FDelays.size(); ++i) FDelays[i] = stored[i] == 0 ? kZeroDelayUnits : stored[i];
    }
    FAnimatable = true;
  } else {
    FFrameCount = 1;
  }
  if (FDelays.empty()) FDelays.assign(static_cast<size_t>(FFrameCount), 0);
}

TGPImageAnimator::~TGPImageAnimator() { FAnimatable = false; }

void TGPImageAnimator::Tick() {
  FElapsed += kAnimatorTickUnits;
  if (FElapsed < FDelays[static_cast<size_t>(FrameIndex())]) return;
  FElapsed = 0;
  int32_t next = FrameIndex() + 1;
  SetFrameIndex(next >= FFrameCount ? 0 : next);
}

void TGPImageAnimator::SetFrameIndex(int32_t index) {
  if (index < 0 || index >= FFrameCount) index = 0;
  if (index == FrameIndex()) return;
  FFrameIndex.store(index, std::memory_order_relaxed);
  FChanged.store(true, std::memory_order_relaxed);
  if (TGPImageList* list = FList.load(std::memory_order_relaxed)) list->SetDirty(true);
}

void TGPImageAnimator::SelectFrame() {
  if (!Changed()) return;
  if (FImage && Animatable()) {
    try {
      FImage->SelectTimeFrame(FrameIndex());
    } catch (...) {
      // A frame the image cannot show leaves the previous one visible.
    }
  }
  FChanged.store(false, std::memory_order_relaxed);
}

TGPImageAnimator* CreateImageAnimator(IAnimatedImage* image, TFrameChangeEvent handler) {
  auto animator = std::make_unique<TGPImageAnimator>(image);
  if (!animator->Animatable()) {
    RemoveImageAnimators(image, handler.Code);
    return nullptr;
  }
  // Adding replaces the animators of this image and handler code under the list's write
  // lock, so a repeated registration keeps the running thread.
  animator->Handler = handler;
  TGPImageAnimator* result = animator.get();
  AddToAnimatorThread(std::move(animator));
  return result;
}

void RemoveImageAnimators(IAnimatedImage* image, TFrameChangeEvent::TCode code) {
  RemoveFromAnimatorThread(image, code);
}

}  // namespace imaging
