#include "ui/Brush.h"

namespace ui {

void TBrush::SetColor(TColor color) {
  if (color == FColor) return;
  FColor = color;
  Changed();
}

void TBrush::SetStyle(uint8_t style) {
  if (style > bsDiagCross) style = bsSolid;
  if (style == FStyle) return;
  FStyle = style;
  Changed();
}

HGDIOBJ TBrush::CreateHandle(bool& owned) {
  if (FStyle == bsClear) {
    owned = false;
    return GetStockObject(NULL_BRUSH);
  }
  owned = true;
  if (FStyle == bsSolid) return CreateSolidBrush(ColorToRGB(FColor));
  return CreateHatchBrush(FStyle - bsHorizontal, ColorToRGB(FColor));
}

}  // namespace ui
