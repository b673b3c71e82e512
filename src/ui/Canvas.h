// A drawing surface over a device context that someone else owns (a window's or a
// bitmap's). The canvas never releases the context.
#pragma once

#include <windows.h>

#include <cstdint>

namespace ui {

// 0x00BBGGRR; negative values name system colours (clBtnFace and friends).
using TColor = int32_t;
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clBtnFace = static_cast<TColor>(0x80000000u | COLOR_BTNFACE);

// The RGB value of a colour, resolving system colours.
COLORREF ColorToRGB(TColor color);

class TCanvas {
 public:
  explicit TCanvas(HDC dc = nullptr) : FHandle(dc) {}
  HDC Handle() const { return FHandle; }
  void SetHandle(HDC dc) { FHandle = dc; }
  void FillRect(const RECT& rect, TColor color);

 private:
  HDC FHandle;
};

}  // namespace ui
