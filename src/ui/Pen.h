// TPen: the canvas's pen for lines and outlines: colour, width in pixels and style.
#pragma once

#include <cstdint>

#include "ui/Canvas.h"
#include "ui/GraphicsObject.h"

namespace ui {

// Pen styles, from 0 on; psSolid to psInsideFrame are GDI's PS_ values. psUserStyle and
// psAlternate need a dash pattern the canvas does not keep: they draw solid.
enum : uint8_t { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame, psUserStyle, psAlternate };

class TPen : public TGraphicsObject {
 public:
  TColor Color() const { return FColor; }
  void SetColor(TColor color) { Assign(FColor, color); }
  int32_t Width() const { return FWidth; }
  void SetWidth(int32_t width);  // below 1 counts as 1
  uint8_t Style() const { return FStyle; }
  void SetStyle(uint8_t style) { Assign(FStyle, style); }

  HPEN Pen() { return static_cast<HPEN>(Handle()); }

 protected:
  HGDIOBJ CreateHandle(bool& owned) override;

 private:
  TColor FColor = clBlack;
  int32_t FWidth = 1;
  uint8_t FStyle = psSolid;
};

}  // namespace ui
