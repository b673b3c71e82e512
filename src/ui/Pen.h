// TPen: the canvas's pen for lines and outlines: colour, width in pixels and style.
#pragma once

#include <cstdint>

#include "ui/Canvas.h"
#include "ui/GraphicsObject.h"

namespace ui {

// Pen styles; 0 to 6 are GDI's PS_ values. psUserStyle and psAlternate need a dash
// pattern the canvas does not keep: they draw solid.
enum : uint8_t {
  psSolid = 0,
  psDash = 1,
  psDot = 2,
  psDashDot = 3,
  psDashDotDot = 4,
  psClear = 5,
  psInsideFrame = 6,
  psUserStyle = 7,
  psAlternate = 8
};

class TPen : public TGraphicsObject {
 public:
  TColor Color() const { return FColor; }
  void SetColor(TColor color);
  int32_t Width() const { return FWidth; }
  void SetWidth(int32_t width);  // below 1 counts as 1
  uint8_t Style() const { return FStyle; }
  void SetStyle(uint8_t style);

  HPEN Pen() { return static_cast<HPEN>(Handle()); }

 protected:
  HGDIOBJ CreateHandle(bool& owned) override;

 private:
  TColor FColor = clBlack;
  int32_t FWidth = 1;
  uint8_t FStyle = psSolid;
};

}  // namespace ui
