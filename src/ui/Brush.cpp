#include "ui/Brush.h"

namespace ui {

void TBrush::SetStyle(uint8_t style) { Assign(FStyle, style > bsDiagCross ? static_cast<uint8_t>(bsSolid) : style); }

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
