#include "ui/Canvas.h"

namespace ui {

COLORREF ColorToRGB(TColor color) {
  if (color < 0) return GetSysColor(color & 0xFF);
  return static_cast<COLORREF>(color);
}

void TCanvas::FillRect(const RECT& rect, TColor color) {
  if (!FHandle) return;
  HBRUSH brush = CreateSolidBrush(ColorToRGB(color));
  ::FillRect(FHandle, &rect, brush);
  DeleteObject(brush);
}

}  // namespace ui
