#include "ui/Pen.h"

namespace ui {

void TPen::SetWidth(int32_t width) { Assign(FWidth, width < 1 ? 1 : width); }

HGDIOBJ TPen::CreateHandle(bool& owned) {
  owned = true;
  return CreatePen(FStyle <= psInsideFrame ? FStyle : PS_SOLID, FWidth, ColorToRGB(FColor));
}

}  // namespace ui
