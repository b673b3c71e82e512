// TGPImageAnimator: the frame clock of one multi-frame picture. The animator thread
// ticks it every 50 ms and moves it to the next frame once the current frame's delay has
// elapsed; the GUI thread then shows that frame in the image and tells the picture.
// The image is reached through IAnimatedImage, so the timing runs without GDI+.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "base/Object.h"

namespace imaging {

class TGPImageList;

// Frame delays are counted in hundredths of a second.
constexpr int32_t FrameDelayUnits = 100;
// One pass of the animator thread: its period and what it adds to every animator's clock.
constexpr uint32_t kAnimatorTickMs = 50;
constexpr uint32_t kAnimatorTickUnits = kAnimatorTickMs * FrameDelayUnits / 1000;
// A frame whose stored delay is 0 is shown for this long instead.
constexpr uint32_t kZeroDelayUnits = 10;

// The image side of an animator (a GDI+ image in the product, a fake in timing tests).
class IAnimatedImage {
 public:
  virtual ~IAnimatedImage() = default;
  // Frames in the time dimension; 0 when the image has no time dimension.
  virtual int32_t TimeFrameCount() = 0;
  // Fills the per-frame delays (hundredths of a second, the image's frame-delay
  // property); false when the image has no such property.
  virtual bool ReadFrameDelays(std::vector<uint32_t>& delays) = 0;
  // Shows frame index of the time dimension. GUI thread; may raise.
  virtual void SelectTimeFrame(int32_t index) = 0;
};

// The picture's frame-change handler; the sender is the animator whose frame advanced.
// Animators are told apart by image and handler code; the context is the picture.
using TFrameChangeEvent = base::TNotifyEvent;

class TGPImageAnimator : public base::TObject {
 public:
  // Reads the frame count and delays of the image (not owned; it must outlive the
  // animator). A delay of 0 becomes kZeroDelayUnits; a delay property with fewer values
  // than frames is ignored (every frame then lasts one tick).
  explicit TGPImageAnimator(IAnimatedImage* image);
  ~TGPImageAnimator() override;

  IAnimatedImage* Image() const { return FImage; }
  // Frames in the time dimension; 1 for an image that cannot animate.
  int32_t FrameCount() const { return FFrameCount; }
  bool Animatable() const { return FAnimatable.load(std::memory_order_relaxed); }
  const std::vector<uint32_t>& Delays() const { return FDelays; }
  int32_t FrameIndex() const { return FFrameIndex.load(std::memory_order_relaxed); }
  // The frame advanced and the GUI thread has not shown it yet.
  bool Changed() const { return FChanged.load(std::memory_order_relaxed); }

  // Set before the animator is handed to a list; read on the GUI thread.
  TFrameChangeEvent Handler;

  // One pass of the animator thread: adds kAnimatorTickUnits and advances the frame
  // when the current frame's delay has elapsed. Animator thread only.
  void Tick();
  // Moves to a frame; a negative index or one beyond the last frame means frame 0. A
  // new frame marks the animator changed and its list dirty.
  void SetFrameIndex(int32_t index);
  // Shows the current frame in the image when it changed (GUI thread). A failing image
  // call is ignored.
  void SelectFrame();

 private:
  friend class TGPImageList;
  IAnimatedImage* FImage;
  int32_t FFrameCount = 1;
  std::vector<uint32_t> FDelays;
  uint32_t FElapsed = 0;  // animator thread only
  std::atomic<bool> FAnimatable{false};
  std::atomic<int32_t> FFrameIndex{0};
  std::atomic<bool> FChanged{false};
  std::atomic<TGPImageList*> FList{nullptr};  // the list that ticks it, for its Dirty flag
};

// Registers an animator for (image, handler): removes the animators registered for the
// same image and handler code, and when the image animates, adds a new one to the
// process-wide animator thread (creating the thread) and returns it; the thread's list
// owns it. Returns null for an image with one frame. GUI thread.
TGPImageAnimator* CreateImageAnimator(IAnimatedImage* image, TFrameChangeEvent handler);
// Removes (and frees) the animators of the image with the handler code, or with any
// handler when code is null. GUI thread.
void RemoveImageAnimators(IAnimatedImage* image, TFrameChangeEvent::TCode code);

}  // namespace imaging
