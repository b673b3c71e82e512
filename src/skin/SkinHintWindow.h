// TQZHintWindow: the process's hint window once the skin unit is up. Unlike the
// framework's own it sizes itself by its one-line text when the caption changes on its
// own, stays on the desktop when placed near an edge, is shown topmost with the system's
// tooltip animation (a slide, or a fade where the system fades tooltips) unless hints
// follow each other quickly or the text is long, and keeps showing while the mouse
// moves over a window's title bar and frame; a click there ends it. GUI thread.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

#include "base/Strings.h"
#include "ui/HintWindow.h"

namespace skin {

// A hint shown again within this time of the last one shows at once.
constexpr uint32_t kHintQuickReshowMs = 250;
// Texts of this many characters or more never animate.
constexpr size_t kHintAnimatedTextLimit = 100;
constexpr uint32_t kHintAnimationMs = 100;

// What the system says about animating tooltips.
struct THintAnimationSettings {
  bool CanAnimate = false;  // the system has window animation at all
  bool Animation = false;   // tooltips animate
  bool Fade = false;        // ... by fading rather than sliding
};
THintAnimationSettings SystemHintAnimationSettings();

// The AnimateWindow flags for a hint of textLength characters whose top is at hintTop,
// with the cursor at cursorY, msSinceLastShown after the previous hint (a first hint
// counts as long ago); 0: show at once. A slide goes downwards unless the cursor is below
// the hint's top.
uint32_t HintAnimationFlags(uint32_t msSinceLastShown, size_t textLength, const THintAnimationSettings& settings,
                            int32_t cursorY, int32_t hintTop);

// The desktop: the bounding rectangle of every monitor.
RECT DesktopRect();
// Where a hint with these bounds goes so that it stays on the desktop: moved up and left
// so that it does not pass the bottom and right edges, then right and down so that it
// does not start before the left and top edges (which win for a hint larger than the
// desktop).
POINT ClampHintToDesktop(const RECT& bounds, const RECT& desktop);

class TQZHintWindow : public ui::THintWindow {
 public:
  const char* ClassName() const override { return "TQZHintWindow"; }

  // Sets the caption, takes the rectangle 4 pixels taller as bounds, keeps it on the
  // desktop, places it topmost without activating it, animates it as the system's
  // settings say, and shows it. The time is recorded even when showing fails.
  void ActivateHint(const RECT& rect, const base::AnsiString& text) override;
  // Mouse moves over a frame never end the hint; clicks and double clicks there do.
  bool IsHintMsg(const MSG& msg) override;

  bool Activating() const { return FActivating; }
  // The tick count when the last ActivateHint finished.
  uint32_t LastShown() const { return FLastShown; }
  // The AnimateWindow flags the last ActivateHint asked for; 0 when it showed at once.
  uint32_t LastAnimation() const { return FLastAnimation; }

 protected:
  // Outside ActivateHint: the window becomes as large as its text (one line) plus the
  // border and padding.
  void TextChanged() override;
  // The system's settings; read at each ActivateHint.
  virtual THintAnimationSettings AnimationSettings() { return SystemHintAnimationSettings(); }

 private:
  void Animate(uint32_t flags);

  bool FActivating = false;
  bool FShownBefore = false;
  uint32_t FLastShown = 0;
  uint32_t FLastAnimation = 0;
};

// The hint window class the skin unit installs at start-up.
std::unique_ptr<ui::THintWindow> QZHintWindowClass();

}  // namespace skin
