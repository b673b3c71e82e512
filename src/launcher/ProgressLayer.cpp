#include "launcher/ProgressLayer.h"

#include <algorithm>

#include "imaging/GdiplusObjects.h"
#include "ui/GdiHandles.h"

namespace launcher {
namespace {

// Colours of the layer, opaque (blue, green, red as the bitmap stores them).
struct TBgr {
  uint8_t B, G, R;
};
constexpr TBgr kPanel{44, 36, 32};
constexpr TBgr kTrack{88, 76, 70};
constexpr TBgr kFill{255, 156, 64};
constexpr int32_t kBarLeft = 8;
constexpr int32_t kBarTop = 20;
constexpr int32_t kBarHeight = 6;

void FillRect(uint8_t* bits, int32_t left, int32_t top, int32_t right, int32_t bottom, TBgr color) {
  for (int32_t y = top; y < bottom; ++y) {
    uint8_t* p = bits + (static_cast<size_t>(y) * TProgressLayer::kWidth + left) * 4;
    for (int32_t x = left; x < right; ++x, p += 4) {
      p[0] = color.B;
      p[1] = color.G;
      p[2] = color.R;
      p[3] = 255;
    }
  }
}

}  // namespace

TProgressLayer::TProgressLayer(HWND owner, std::u16string fontName) : FOwner(owner), FFontName(std::move(fontName)) {
  // A pop-up owned by the splash stays above it; the system's static class is enough, as
  // the window's content only ever comes from UpdateLayeredWindow.
  FWindow = CreateWindowExW(WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE | WS_EX_TRANSPARENT, L"STATIC", L"",
                            WS_POPUP, 0, 0, kWidth, kHeight, owner, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (FWindow) FBitmap.SetSize32(kWidth, kHeight);
}

TProgressLayer::~TProgressLayer() {
  if (FWindow) DestroyWindow(FWindow);
}

void TProgressLayer::Paint(const std::u16string& text, double fraction) {
  uint8_t* bits = FBitmap.Bits();
  if (!bits) return;
  FillRect(bits, 0, 0, kWidth, kHeight, kPanel);
  const int32_t barWidth = kWidth - 2 * kBarLeft;
  FillRect(bits, kBarLeft, kBarTop, kBarLeft + barWidth, kBarTop + kBarHeight, kTrack);
  if (fraction >= 0) {
    int32_t filled = static_cast<int32_t>(std::min(fraction, 1.0) * barWidth + 0.5);
    FillRect(bits, kBarLeft, kBarTop, kBarLeft + filled, kBarTop + kBarHeight, kFill);
  }
  {
    imaging::TGPGraphics graphics(FBitmap.Canvas().Handle());
    graphics.SetTextRenderingHint(Gdiplus::TextRenderingHintClearTypeGridFit);
    imaging::TGPFontFamily family(FFontName);
    imaging::TGPFont font(family, 8.5f, Gdiplus::FontStyleRegular, Gdiplus::UnitPoint);
    imaging::TGPSolidBrush white(0xFFFFFFFF);
    graphics.DrawString(text, font, Gdiplus::RectF(static_cast<float>(kBarLeft) - 2, 3, 0, 0), nullptr, white);
  }
  GdiFlush();
  // Text drawn through a device context may clear the alpha bytes it touches; the whole
  // layer is opaque.
  for (size_t i = 3; i < static_cast<size_t>(kWidth) * kHeight * 4; i += 4) bits[i] = 255;
}

void TProgressLayer::Show(const std::u16string& text, double fraction) {
  if (!FWindow) return;
  try {
    Paint(text, fraction);
  } catch (...) {
    return;
  }
  RECT owner{};
  GetWindowRect(FOwner, &owner);
  POINT at{owner.left + kLeft, owner.top + kTop};
  SIZE size{kWidth, kHeight};
  POINT source{0, 0};
  BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  ui::TWindowDC screen;
  BOOL ok =
      UpdateLayeredWindow(FWindow, screen.Get(), &at, &size, FBitmap.Canvas().Handle(), &source, 0, &blend, ULW_ALPHA);
  if (ok && !FVisible && !FHidden) {
    ShowWindow(FWindow, SW_SHOWNOACTIVATE);
    FVisible = true;
  }
}

void TProgressLayer::Hide() {
  FHidden = true;
  if (FWindow && FVisible) ShowWindow(FWindow, SW_HIDE);
  FVisible = false;
}

}  // namespace launcher
