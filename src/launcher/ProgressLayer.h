// TProgressLayer: the update's progress over the splash, in a layered window of its own
// (owned by the splash, never activated, clicks pass through it): one line of text above
// a bar. Every Show draws the whole layer into a bitmap and hands it to the window in one
// UpdateLayeredWindow call, so the layer never flickers and the splash picture under it
// is never redrawn. Main thread only; the caller decides how often it is drawn.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "ui/Bitmap.h"

namespace launcher {

class TProgressLayer {
 public:
  // Where the layer sits on the splash picture (its client coordinates): between the
  // version line and the notice line.
  static constexpr int32_t kLeft = 30;
  static constexpr int32_t kTop = 212;
  static constexpr int32_t kWidth = 463;
  static constexpr int32_t kHeight = 30;

  // fontName: the splash's font family (the layer's text uses it at the splash's size).
  TProgressLayer(HWND owner, std::u16string fontName);
  ~TProgressLayer();
  TProgressLayer(const TProgressLayer&) = delete;
  TProgressLayer& operator=(const TProgressLayer&) = delete;

  // Draws text and the bar filled to fraction (0 to 1; negative: no fill, the total is
  // not known) at the owner's current place, and shows the layer. Failures of drawing
  // leave the layer as it was: progress is a courtesy, never a reason to stop.
  void Show(const std::u16string& text, double fraction);
  void Hide();
  HWND Handle() const { return FWindow; }
  bool Visible() const { return FVisible; }

 private:
  void Paint(const std::u16string& text, double fraction);

  HWND FOwner;
  HWND FWindow = nullptr;
  std::u16string FFontName;
  ui::TBitmap FBitmap;
  bool FVisible = false;
  bool FHidden = false;  // Hide was called: later Shows draw but stay hidden
};

}  // namespace launcher
