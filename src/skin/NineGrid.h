// The geometry of nine-cell painting: which cells of a source rectangle go where in a
// destination rectangle, for every cell selector, with the shrink rule for destinations
// narrower or lower than their margins. Pure integer arithmetic, shared by the GDI
// painter (SkinPaint.h) and its tests on every platform.
#pragma once

#include <array>
#include <cstdint>

namespace skin {

// Left, Right, Top, Bottom: the same four values as TBorderMargins.
struct TGridMargins {
  int32_t Left = 0, Right = 0, Top = 0, Bottom = 0;
};

// Which cells are drawn, and over which strip of the destination.
enum CellSelector : uint8_t {
  csAll = 0,           // all nine, whole rectangle
  csBorder = 1,        // the eight border cells, no centre
  csCenter = 2,        // the source centre over the whole rectangle
  csLeftColumn = 3,    // top-left, left edge, bottom-left; left margin wide
  csMiddleColumn = 4,  // top edge, centre, bottom edge, each the full width
  csRightColumn = 5,   // top-right, right edge, bottom-right; right margin wide, at the right
  csTopRow = 6,        // top-left, top edge, top-right; top margin high
  csMiddleRow = 7,     // left edge, centre, right edge, each the full height
  csBottomRow = 8      // bottom-left, bottom edge, bottom-right; bottom margin high, at the bottom
};

// One cell: destination x, y, w, h (relative to the destination rectangle) from source
// x, y, w, h (relative to the source rectangle).
struct TGridCell {
  int32_t DX, DY, DW, DH;
  int32_t SX, SY, SW, SH;
  friend bool operator==(const TGridCell&, const TGridCell&) = default;
};

struct TNineGridLayout {
  bool Valid = false;   // false: empty destination or unknown selector; nothing to draw
  bool Simple = false;  // the whole source onto the whole destination (one cell)
  int32_t Count = 0;    // cells with something to draw, in drawing order
  std::array<TGridCell, 9> Cells{};
  // The margins after shrinking and fitting (what the cells were cut with).
  TGridMargins Dest, Source;
};

// Lays out a width x height destination over a sourceWidth x sourceHeight source.
//
// Negative margins count as 0. The shrink rule: when the destination is narrower than
// its left and right margins (and the selector draws both), every horizontal margin
// loses its share of the deficit, rounded to nearest with halves to even, and the left
// ones then grow by one while the destination still has room beside the source margins;
// likewise vertically. Then the source margins are fitted into the source, and the
// source centre is what lies between them, so no cell ever reaches outside the source
// rectangle, whatever the destination margins are; a strip selector's margin is fitted
// into the destination, so no cell reaches outside the destination rectangle. Cells
// with an empty destination or source side are left out.
TNineGridLayout LayoutNineGrid(int32_t width, int32_t height, int32_t sourceWidth, int32_t sourceHeight,
                               uint8_t selector, TGridMargins dest, TGridMargins source);

// x rounded to the nearest integer, halves to the even neighbour (2.5 -> 2, 5.5 -> 6).
int64_t RoundHalfEven(double x);

}  // namespace skin
