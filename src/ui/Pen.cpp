#include "ui/Pen.h"

namespace ui {

void TPen::SetColor(TColor color) {
  if (color == FColor) return;
  FColor = color;
  Changed();
}

void TPen::SetWidth(int32_t width) {
  if (width < 1) width = 1;
  if (width == FWidth) return;
  FWidth = width;
  Changed();
}

void TPen::SetStyle(uint8_t style) {
  if (style == FStyle) return;
  FStyle = style;
  Changed();
}

HGDIOBJ TPen::CreateHandle(bool& owned) {
  owned = true;
  return CreatePen(FStyle <= psInsideFrame ? FStyle : PS_SOLID, FWidth, ColorToRGB(FColor));
}

}  // namespace ui
