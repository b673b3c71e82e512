#include "skin/NineGrid.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

namespace skin {

namespace {

constexpr uint16_t Sel(std::initializer_list<int> selectors) {
  uint16_t bits = 0;
  for (int s : selectors) bits = static_cast<uint16_t>(bits | 1u << s);
  return bits;
}

// Which selectors use each destination margin, and which shrink along each axis.
constexpr uint16_t kUsesLeft = Sel({0, 1, 3, 6, 7, 8});
constexpr uint16_t kUsesRight = Sel({0, 1, 5, 6, 7, 8});
constexpr uint16_t kUsesTop = Sel({0, 1, 3, 4, 5, 6});
constexpr uint16_t kUsesBottom = Sel({0, 1, 3, 4, 5, 8});
constexpr uint16_t kShrinksAcross = Sel({0, 1, 6, 7, 8});
constexpr uint16_t kShrinksDown = Sel({0, 1, 3, 4, 5});

bool In(uint16_t set, uint8_t selector) { return (set >> selector & 1) != 0; }

// One axis: a margin before (A) and after (B) the centre, in source and destination.
struct TAxis {
  int32_t SA, SB, SC;  // source margins and centre
  int32_t DA, DB;      // destination margins
};

int32_t Clamp32(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

// The shrink rule along one axis of a destination of size that is smaller than its two
// margins: each margin gives up its share of the deficit.
void Shrink(TAxis& a, int32_t size) {
  int64_t deficit = int64_t{a.DA} + a.DB - size;
  double share = static_cast<double>(deficit) / (int64_t{a.DA} + a.DB);
  a.SA = Clamp32(a.SA - RoundHalfEven(a.SA * share));
  a.SB = Clamp32(a.SB - RoundHalfEven(a.SB * share));
  a.DA = Clamp32(a.DA - RoundHalfEven(a.DA * share));
  a.DB = Clamp32(a.DB - RoundHalfEven(a.DB * share));
  if (int64_t{size} - a.SA - a.SB > 0) {
    ++a.SA;
    ++a.DA;
  }
}

// Source margins inside the source, the centre between them; used destination margins
// inside the destination.
void Fit(TAxis& a, int32_t sourceSize, int32_t size, bool usesA, bool usesB) {
  sourceSize = std::max(sourceSize, 0);
  a.SA = std::clamp(a.SA, 0, sourceSize);
  a.SB = std::clamp(a.SB, 0, sourceSize - a.SA);
  a.SC = sourceSize - a.SA - a.SB;
  if (usesA) a.DA = std::clamp(a.DA, 0, size);
  if (usesB) a.DB = std::clamp(a.DB, 0, size - (usesA ? a.DA : 0));
}

TAxis MakeAxis(int32_t sa, int32_t sb, int32_t da, int32_t db) {
  return {std::max(sa, 0), std::max(sb, 0), 0, std::max(da, 0), std::max(db, 0)};
}

}  // namespace

int64_t RoundHalfEven(double x) {
  double f = std::floor(x);
  double diff = x - f;
  int64_t n = static_cast<int64_t>(f);
  if (diff > 0.5) return n + 1;
  if (diff < 0.5) return n;
  return (n % 2 == 0) ? n : n + 1;
}

TNineGridLayout LayoutNineGrid(int32_t width, int32_t height, int32_t sourceWidth, int32_t sourceHeight,
                               uint8_t selector, TGridMargins dest, TGridMargins source) {
  TNineGridLayout out;
  if (width <= 0 || height <= 0 || selector > csBottomRow) return out;
  out.Valid = true;
  TAxis h = MakeAxis(source.Left, source.Right, dest.Left, dest.Right);
  TAxis v = MakeAxis(source.Top, source.Bottom, dest.Top, dest.Bottom);
  auto add = [&out](TGridCell c) {
    if (c.DW > 0 && c.DH > 0 && c.SW > 0 && c.SH > 0) out.Cells[static_cast<size_t>(out.Count++)] = c;
  };

  if (selector == csAll && h.SA == 0 && h.SB == 0 && v.SA == 0 && v.SB == 0) {
    out.Simple = true;
    add({0, 0, width, height, 0, 0, sourceWidth, sourceHeight});
    out.Dest = {h.DA, h.DB, v.DA, v.DB};
    return out;
  }

  if (int64_t{width} - h.DA - h.DB < 0 && In(kShrinksAcross, selector)) Shrink(h, width);
  if (int64_t{height} - v.DA - v.DB < 0 && In(kShrinksDown, selector)) Shrink(v, height);
  const bool usesL = In(kUsesLeft, selector), usesR = In(kUsesRight, selector);
  const bool usesT = In(kUsesTop, selector), usesB = In(kUsesBottom, selector);
  Fit(h, sourceWidth, width, usesL, usesR);
  Fit(v, sourceHeight, height, usesT, usesB);
  out.Dest = {h.DA, h.DB, v.DA, v.DB};
  out.Source = {h.SA, h.SB, v.SA, v.SB};

  // The destination strip of the selector.
  int32_t rl = 0, rt = 0, rr = width, rb = height;
  if (selector == csLeftColumn) rr = h.DA;
  if (selector == csRightColumn) rl = width - h.DB;
  if (selector == csTopRow) rb = v.DA;
  if (selector == csBottomRow) rt = height - v.DB;

  const int32_t f = usesL ? h.DA : 0, l = usesR ? h.DB : 0;
  const int32_t e = usesT ? v.DA : 0, o = usesB ? v.DB : 0;
  const int32_t cw = std::max(width - f - l, 0), ch = std::max(height - e - o, 0);
  const int32_t sRight = h.SA + h.SC, sBottom = v.SA + v.SC;

  if (In(Sel({0, 1, 3, 6}), selector)) add({rl, rt, h.DA, v.DA, 0, 0, h.SA, v.SA});
  if (In(Sel({0, 1, 5, 6}), selector)) add({rr - h.DB, rt, h.DB, v.DA, sRight, 0, h.SB, v.SA});
  if (In(Sel({0, 1, 3, 8}), selector)) add({rl, rb - v.DB, h.DA, v.DB, 0, sBottom, h.SA, v.SB});
  if (In(Sel({0, 1, 5, 8}), selector)) add({rr - h.DB, rb - v.DB, h.DB, v.DB, sRight, sBottom, h.SB, v.SB});
  if (In(Sel({0, 1, 4, 6}), selector)) add({rl + f, rt, cw, v.DA, h.SA, 0, h.SC, v.SA});
  if (In(Sel({0, 1, 4, 8}), selector)) add({rl + f, rb - v.DB, cw, v.DB, h.SA, sBottom, h.SC, v.SB});
  if (In(Sel({0, 1, 3, 7}), selector)) add({rl, rt + e, h.DA, ch, 0, v.SA, h.SA, v.SC});
  if (In(Sel({0, 1, 5, 7}), selector)) add({rr - h.DB, rt + e, h.DB, ch, sRight, v.SA, h.SB, v.SC});
  if (In(Sel({0, 2, 4, 7}), selector)) add({rl + f, rt + e, cw, ch, h.SA, v.SA, h.SC, v.SC});
  return out;
}

}  // namespace skin
