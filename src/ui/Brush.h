// TBrush: the canvas's brush for fills: colour and style (solid, clear or a hatch).
#pragma once

#include <cstdint>

#include "ui/Canvas.h"
#include "ui/GraphicsObject.h"

namespace ui {

// Brush styles; the hatches are GDI's HS_ values plus 2.
enum : uint8_t {
  bsSolid = 0,
  bsClear = 1,
  bsHorizontal = 2,
  bsVertical = 3,
  bsFDiagonal = 4,
  bsBDiagonal = 5,
  bsCross = 6,
  bsDiagCross = 7
};

class TBrush : public TGraphicsObject {
 public:
  TColor Color() const { return FColor; }
  void SetColor(TColor color);
  uint8_t Style() const { return FStyle; }
  void SetStyle(uint8_t style);  // values above bsDiagCross count as bsSolid

  HBRUSH Brush() { return static_cast<HBRUSH>(Handle()); }

 protected:
  HGDIOBJ CreateHandle(bool& owned) override;

 private:
  TColor FColor = clWhite;
  uint8_t FStyle = bsSolid;
};

}  // namespace ui
