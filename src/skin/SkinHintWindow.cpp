#include "skin/SkinHintWindow.h"

#include <algorithm>
#include <limits>

#include "platform/Library.h"

namespace skin {

namespace {

// The hint's rectangle is taken this much taller than asked for.
constexpr int32_t kHintExtraHeight = 4;
// Border and padding around the text of a hint that sizes itself by its text.
constexpr int32_t kTextExtraWidth = 6;
constexpr int32_t kTextExtraHeight = 4;
// The last frame message that ends a hint: the extra buttons' release (172). Their
// double click (173) lies outside the range and keeps the hint, deliberately.
constexpr UINT kLastFrameClickMessage = 172;

using TAnimateWindowProc = BOOL(WINAPI*)(HWND, DWORD, DWORD);

// AnimateWindow where the system has it (it came with the later releases of Windows).
TAnimateWindowProc AnimateWindowProc() {
  static const auto proc = reinterpret_cast<TAnimateWindowProc>(
      platform::GetProcAddress(reinterpret_cast<void*>(GetModuleHandleA("user32.dll")), "AnimateWindow"));
  return proc;
}

bool SystemFlag(UINT action) {
  BOOL value = FALSE;
  return SystemParametersInfoA(action, 0, &value, 0) && value;
}

}  // namespace

THintAnimationSettings SystemHintAnimationSettings() {
  THintAnimationSettings s;
  s.CanAnimate = AnimateWindowProc() != nullptr;
  s.Animation = SystemFlag(SPI_GETTOOLTIPANIMATION);
  s.Fade = s.Animation && SystemFlag(SPI_GETTOOLTIPFADE);
  return s;
}

uint32_t HintAnimationFlags(uint32_t msSinceLastShown, size_t textLength, const THintAnimationSettings& settings,
                            int32_t cursorY, int32_t hintTop) {
  if (msSinceLastShown <= kHintQuickReshowMs || textLength >= kHintAnimatedTextLimit) return 0;
  if (!settings.CanAnimate || !settings.Animation) return 0;
  if (settings.Fade) return AW_SLIDE | AW_BLEND;
  return AW_SLIDE | (cursorY > hintTop ? AW_VER_NEGATIVE : AW_VER_POSITIVE);
}

RECT DesktopRect() {
  int32_t x = GetSystemMetrics(SM_XVIRTUALSCREEN), y = GetSystemMetrics(SM_YVIRTUALSCREEN);
  int32_t w = GetSystemMetrics(SM_CXVIRTUALSCREEN), h = GetSystemMetrics(SM_CYVIRTUALSCREEN);
  if (w <= 0 || h <= 0) {
    // Systems without several monitors: the primary screen.
    x = y = 0;
    w = GetSystemMetrics(SM_CXSCREEN);
    h = GetSystemMetrics(SM_CYSCREEN);
  }
  return RECT{x, y, x + w, y + h};
}

POINT ClampHintToDesktop(const RECT& bounds, const RECT& desktop) {
  int32_t width = bounds.right - bounds.left, height = bounds.bottom - bounds.top;
  POINT p{bounds.left, bounds.top};
  if (p.y + height > desktop.bottom) p.y = desktop.bottom - height;
  if (p.x + width > desktop.right) p.x = desktop.right - width;
  p.x = std::max<LONG>(p.x, desktop.left);
  p.y = std::max<LONG>(p.y, desktop.top);
  return p;
}

void TQZHintWindow::TextChanged() {
  if (FActivating) return;
  THintWindow::TextChanged();
  SIZE text = TextExtent(Caption());
  SetWidth(text.cx + kTextExtraWidth);
  SetHeight(text.cy + kTextExtraHeight);
}

void TQZHintWindow::ActivateHint(const RECT& rect, const base::AnsiString& text) {
  FActivating = true;
  // Whatever goes wrong while showing, the time is taken and the window takes text
  // changes again.
  struct TDone {
    TQZHintWindow& W;
    ~TDone() {
      W.FLastShown = GetTickCount();
      W.FShownBefore = true;
      W.FActivating = false;
    }
  } done{*this};

  SetCaption(text);
  RECT bounds = rect;
  bounds.bottom += kHintExtraHeight;
  POINT at = ClampHintToDesktop(bounds, DesktopRect());
  SetBounds(at.x, at.y, bounds.right - bounds.left, bounds.bottom - bounds.top);
  HWND wnd = Handle();
  SetWindowPos(wnd, HWND_TOPMOST, at.x, at.y, Width(), Height(), SWP_NOACTIVATE);

  uint32_t since = FShownBefore ? GetTickCount() - FLastShown : std::numeric_limits<uint32_t>::max();
  POINT cursor{};
  GetCursorPos(&cursor);
  FLastAnimation = HintAnimationFlags(since, text.size(), AnimationSettings(), cursor.y, at.y);
  if (FLastAnimation) Animate(FLastAnimation);

  // Unowned: the desktop is the hint's parent, so it shows above every window.
  ShowWindow(wnd, SW_SHOWNOACTIVATE);
  Invalidate();
}

void TQZHintWindow::Animate(uint32_t flags) {
  // Fails harmlessly for a hint that is still showing: it then just stays.
  if (TAnimateWindowProc animate = AnimateWindowProc()) animate(Handle(), kHintAnimationMs, flags);
}

bool TQZHintWindow::IsHintMsg(const MSG& msg) {
  // 160 to 172: the mouse over a window's frame (title bar, borders, buttons). Moving
  // keeps the hint; pressing or double-clicking a button there ends it.
  if (msg.message == WM_NCMOUSEMOVE) return false;
  return THintWindow::IsHintMsg(msg) || (msg.message >= WM_NCLBUTTONDOWN && msg.message <= kLastFrameClickMessage);
}

std::unique_ptr<ui::THintWindow> QZHintWindowClass() { return std::make_unique<TQZHintWindow>(); }

}  // namespace skin
