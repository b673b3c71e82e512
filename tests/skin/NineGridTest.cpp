// The nine-cell geometry: the literal layouts of the common cases, the shrink rule, and
// for many margin combinations that no cell leaves its rectangles or overlaps another.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "skin/NineGrid.h"

using namespace skin;

namespace {

std::vector<TGridCell> Cells(const TNineGridLayout& l) { return {l.Cells.begin(), l.Cells.begin() + l.Count}; }

const TGridMargins kTen{10, 10, 10, 10};

}  // namespace

TEST(NineGrid, ThirtySquareWithMarginsTenIntoHundredByFifty) {
  TNineGridLayout l = LayoutNineGrid(100, 50, 30, 30, csAll, kTen, kTen);
  ASSERT_TRUE(l.Valid);
  EXPECT_FALSE(l.Simple);
  std::vector<TGridCell> want = {
      {0, 0, 10, 10, 0, 0, 10, 10},    {90, 0, 10, 10, 20, 0, 10, 10},    // top corners
      {0, 40, 10, 10, 0, 20, 10, 10},  {90, 40, 10, 10, 20, 20, 10, 10},  // bottom corners
      {10, 0, 80, 10, 10, 0, 10, 10},  {10, 40, 80, 10, 10, 20, 10, 10},  // top, bottom edges
      {0, 10, 10, 30, 0, 10, 10, 10},  {90, 10, 10, 30, 20, 10, 10, 10},  // left, right edges
      {10, 10, 80, 30, 10, 10, 10, 10}};                                  // centre
  EXPECT_EQ(Cells(l), want);
}

TEST(NineGrid, NarrowDestinationShrinksTheHorizontalMargins) {
  // Deficit 11 of 20: round(5.5) = 6 off every margin, then the left ones grow by one.
  TNineGridLayout l = LayoutNineGrid(9, 30, 30, 30, csAll, kTen, kTen);
  EXPECT_EQ(l.Dest.Left, 5);
  EXPECT_EQ(l.Dest.Right, 4);
  EXPECT_EQ(l.Source.Left, 5);
  EXPECT_EQ(l.Source.Right, 4);
  EXPECT_EQ(l.Dest.Top, 10);  // vertically there is room
  std::vector<TGridCell> want = {{0, 0, 5, 10, 0, 0, 5, 10},   {5, 0, 4, 10, 26, 0, 4, 10},
                                 {0, 20, 5, 10, 0, 20, 5, 10}, {5, 20, 4, 10, 26, 20, 4, 10},
                                 {0, 10, 5, 10, 0, 10, 5, 10}, {5, 10, 4, 10, 26, 10, 4, 10}};
  EXPECT_EQ(Cells(l), want);  // the centre column is 0 wide and drawn by no cell
}

TEST(NineGrid, SimplePathAndCentreOnly) {
  TNineGridLayout simple = LayoutNineGrid(40, 20, 30, 30, csAll, kTen, {});
  EXPECT_TRUE(simple.Simple);
  EXPECT_EQ(Cells(simple), (std::vector<TGridCell>{{0, 0, 40, 20, 0, 0, 30, 30}}));
  // Selector 1 never takes the simple path; the centre-only selector fills everything.
  EXPECT_FALSE(LayoutNineGrid(40, 20, 30, 30, csBorder, kTen, {}).Simple);
  TNineGridLayout centre = LayoutNineGrid(40, 20, 30, 30, csCenter, kTen, kTen);
  EXPECT_EQ(Cells(centre), (std::vector<TGridCell>{{0, 0, 40, 20, 10, 10, 10, 10}}));
}

TEST(NineGrid, StripSelectorsDrawTheirStrips) {
  auto destOf = [](uint8_t sel) {
    std::vector<std::array<int32_t, 4>> d;
    for (const TGridCell& c : Cells(LayoutNineGrid(100, 50, 30, 30, sel, kTen, kTen)))
      d.push_back({c.DX, c.DY, c.DW, c.DH});
    return d;
  };
  using V = std::vector<std::array<int32_t, 4>>;
  EXPECT_EQ(destOf(csLeftColumn), (V{{0, 0, 10, 10}, {0, 40, 10, 10}, {0, 10, 10, 30}}));
  EXPECT_EQ(destOf(csRightColumn), (V{{90, 0, 10, 10}, {90, 40, 10, 10}, {90, 10, 10, 30}}));
  EXPECT_EQ(destOf(csTopRow), (V{{0, 0, 10, 10}, {90, 0, 10, 10}, {10, 0, 80, 10}}));
  EXPECT_EQ(destOf(csBottomRow), (V{{0, 40, 10, 10}, {90, 40, 10, 10}, {10, 40, 80, 10}}));
  EXPECT_EQ(destOf(csMiddleColumn), (V{{0, 0, 100, 10}, {0, 40, 100, 10}, {0, 10, 100, 30}}));
  EXPECT_EQ(destOf(csMiddleRow), (V{{0, 0, 10, 50}, {90, 0, 10, 50}, {10, 0, 80, 50}}));
  EXPECT_EQ(destOf(csBorder).size(), 8u);
  EXPECT_FALSE(LayoutNineGrid(100, 50, 30, 30, 9, kTen, kTen).Valid);
  EXPECT_FALSE(LayoutNineGrid(0, 50, 30, 30, csAll, kTen, kTen).Valid);
  EXPECT_FALSE(LayoutNineGrid(100, -1, 30, 30, csAll, kTen, kTen).Valid);
}

TEST(NineGrid, UnequalMarginsStayInsideTheSource) {
  // Destination margins 10 over source margins 5 into 9 wide: the plain shrink rule
  // would put the right column at source x 33 of a 30-wide source.
  TNineGridLayout l = LayoutNineGrid(9, 30, 30, 30, csAll, kTen, {5, 5, 5, 5});
  for (const TGridCell& c : Cells(l)) EXPECT_LE(c.SX + c.SW, 30);
  EXPECT_EQ(l.Source.Left + (30 - l.Source.Left - l.Source.Right), 30 - l.Source.Right);
  // Source margins wider than the source are cut to it.
  TNineGridLayout wide = LayoutNineGrid(100, 50, 30, 30, csAll, kTen, {25, 25, 40, 0});
  EXPECT_EQ(wide.Source.Left, 25);
  EXPECT_EQ(wide.Source.Right, 5);
  EXPECT_EQ(wide.Source.Top, 30);
  EXPECT_EQ(wide.Source.Bottom, 0);
}

TEST(NineGrid, NoCellLeavesItsRectanglesOrOverlapsAnother) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int32_t> margin(-3, 40), size(1, 60);
  for (int round = 0; round < 4000; ++round) {
    int32_t w = size(rng), h = size(rng), sw = size(rng), sh = size(rng);
    uint8_t sel = static_cast<uint8_t>(round % 9);
    TGridMargins d{margin(rng), margin(rng), margin(rng), margin(rng)};
    TGridMargins s{margin(rng), margin(rng), margin(rng), margin(rng)};
    TNineGridLayout l = LayoutNineGrid(w, h, sw, sh, sel, d, s);
    ASSERT_TRUE(l.Valid);
    std::vector<int> covered(static_cast<size_t>(w * h), 0);
    for (const TGridCell& c : Cells(l)) {
      ASSERT_TRUE(c.SX >= 0 && c.SY >= 0 && c.SX + c.SW <= sw && c.SY + c.SH <= sh)
          << "round " << round << " selector " << int(sel);
      ASSERT_TRUE(c.DX >= 0 && c.DY >= 0 && c.DX + c.DW <= w && c.DY + c.DH <= h)
          << "round " << round << " selector " << int(sel);
      for (int32_t y = c.DY; y < c.DY + c.DH; ++y)
        for (int32_t x = c.DX; x < c.DX + c.DW; ++x) ++covered[static_cast<size_t>(y * w + x)];
    }
    for (int n : covered) ASSERT_LE(n, 1) << "round " << round << " selector " << int(sel);
  }
}

TEST(NineGrid, RoundingHalvesToEven) {
  EXPECT_EQ(RoundHalfEven(5.5), 6);
  EXPECT_EQ(RoundHalfEven(2.5), 2);
  EXPECT_EQ(RoundHalfEven(2.4999), 2);
  EXPECT_EQ(RoundHalfEven(-0.5), 0);
  EXPECT_EQ(RoundHalfEven(-1.5), -2);
  EXPECT_EQ(RoundHalfEven(7.0), 7);
}
