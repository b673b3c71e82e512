// TBrush: the canvas's brush for fills: colour and style (solid, clear or a hatch).
#pragma once

#include <cstdint>

#include "ui/Canvas.h"
#include "ui/GraphicsObject.h"

namespace ui {

// Brush styles; the hatches are GDI's HS_ values plus 2.
enum : uint8_t { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };

class TBrush : public TGraphicsObject {
 public:
  TColor Color() const { return FColor; }
  void SetColor(TColor color) { Assign(FColor, color); }
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
