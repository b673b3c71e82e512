#include <gtest/gtest.h>

#include <vector>

#include "TestPictures.h"
#include "quantize/ErrorDiffusion.h"
#include "quantize/OctreeQuantizer.h"

namespace quantize::test {
namespace {

// A two-colour lookup (black below 128 in the red channel, white above) that records the
// colours it was asked for.
class TTwoColorLookup : public TColorLookup {
 public:
  int32_t Lookup(uint8_t red, uint8_t green, uint8_t blue, uint8_t& outRed, uint8_t& outGreen,
                 uint8_t& outBlue) override {
    Asked.push_back(MakeArgb(255, red, green, blue));
    const uint8_t v = red >= 128 ? 255 : 0;
    outRed = outGreen = outBlue = v;
    return v == 255 ? 1 : 0;
  }
  std::vector<uint32_t> Asked;
};

// Answers black for the first colour and every later colour exactly, so only the first
// pixel leaves an error to spread.
class TFirstBlackLookup : public TColorLookup {
 public:
  int32_t Lookup(uint8_t red, uint8_t green, uint8_t blue, uint8_t& outRed, uint8_t& outGreen,
                 uint8_t& outBlue) override {
    const bool first = Asked.empty();
    Asked.push_back(MakeArgb(255, red, green, blue));
    outRed = first ? 0 : red;
    outGreen = first ? 0 : green;
    outBlue = first ? 0 : blue;
    return 0;
  }
  std::vector<uint32_t> Asked;
};

TEST(DitherEngineTest, RowsAlternateDirectionStartingAtTheirFirstColumn) {
  TTwoColorLookup lookup;
  TStuckiDitherer ditherer(lookup, 4);
  uint8_t r, g, b;
  std::vector<int32_t> columns;
  for (int row = 0; row < 3; ++row) {
    EXPECT_EQ(ditherer.Direction(), row % 2 == 0 ? 1 : -1);
    for (int i = 0; i < 4; ++i) {
      columns.push_back(ditherer.Column());
      ditherer.MapColor(0, 0, 0, r, g, b);
    }
    ditherer.EndRow();
  }
  EXPECT_EQ(columns, (std::vector<int32_t>{0, 1, 2, 3, 3, 2, 1, 0, 0, 1, 2, 3}));
}

TEST(DitherEngineTest, StuckiSpreadsTheErrorAheadAndBelowInItsDirection) {
  // Mid-grey 127 answered with black (error +127) in a row of width 5, then the corrections each later
  // pixel sees, in 42nds rounded half up: ahead 8/42 and 4/42 of 127, below 2-4-8-4-2.
  TFirstBlackLookup lookup;
  TStuckiDitherer ditherer(lookup, 5);
  uint8_t r, g, b;
  ditherer.MapColor(127, 127, 127, r, g, b);  // column 0: error 127 in each channel
  for (int i = 1; i < 5; ++i) ditherer.MapColor(0, 0, 0, r, g, b);
  ditherer.EndRow();
  for (int i = 0; i < 5; ++i) ditherer.MapColor(0, 0, 0, r, g, b);  // right to left
  ditherer.EndRow();
  for (int i = 0; i < 5; ++i) ditherer.MapColor(0, 0, 0, r, g, b);
  auto red = [&](size_t n) { return static_cast<int>(RedOf(lookup.Asked[n])); };
  // Row 0: column 1 gets (8*127 + 21) / 42 = 24, column 2 gets (4*127 + 21) / 42 = 12.
  EXPECT_EQ(red(1), 24);
  EXPECT_EQ(red(2), 12);
  EXPECT_EQ(red(3), 0);
  // Row 1 runs from column 4 to 0: 0, 0, 2*127, 4*127, 8*127 in 42nds.
  EXPECT_EQ((std::vector<int>{red(5), red(6), red(7), red(8), red(9)}), (std::vector<int>{0, 0, 6, 12, 24}));
  // Row 2 (left to right): 4*127, 2*127, 1*127 in 42nds at columns 0, 1, 2.
  EXPECT_EQ((std::vector<int>{red(10), red(11), red(12), red(13)}), (std::vector<int>{12, 6, 3, 0}));
}

TEST(DitherEngineTest, NegativeErrorsRoundTowardsZero) {
  // White asked at 200 leaves -55; the next pixel sees (8 * -55 + 21) / 42 = -419 / 42 = -9.
  TTwoColorLookup lookup;
  TStuckiDitherer ditherer(lookup, 3);
  uint8_t r, g, b;
  ditherer.MapColor(200, 0, 0, r, g, b);
  ditherer.MapColor(100, 0, 0, r, g, b);
  EXPECT_EQ(RedOf(lookup.Asked[1]), 91);
}

TEST(DitherEngineTest, OddRowsOfAPictureRunRightToLeft) {
  // A tree of black and white only; row 0 black (no error), row 1 grey 128. The first grey
  // pixel handled becomes white and its error turns the next one black: only a walk from
  // the right gives black, white, black, white.
  TOctreeQuantizer quantizer(3, 1);
  quantizer.CollectPixel(0xFF000000);
  quantizer.CollectPixel(0xFFFFFFFF);
  std::array<uint32_t, 256> palette{};
  quantizer.FillPalette(palette);
  ASSERT_EQ(palette[0], 0xFF000000u);
  ASSERT_EQ(palette[1], 0xFFFFFFFFu);
  TPicture picture{
      4, 2, {0xFF000000, 0xFF000000, 0xFF000000, 0xFF000000, 0xFF808080, 0xFF808080, 0xFF808080, 0xFF808080}};
  TLockedRows argb(4, 2, 4, 0, false), indexed(4, 2, 1, 0, false);
  argb.Load(picture);
  quantizer.MapPixels(argb.Rows(), indexed.Rows());
  std::vector<int> row1;
  for (int32_t x = 0; x < 4; ++x) row1.push_back(indexed.Index(x, 1));
  EXPECT_EQ(row1, (std::vector<int>{0, 1, 0, 1}));
  EXPECT_EQ(argb.Pixel(3, 1), 0xFFFFFFFFu);
  EXPECT_EQ(argb.Pixel(2, 1), 0xFF000000u);
}

TEST(DitherEngineTest, NarrowPicturesKeepTheKernelInsideItsRows) {
  // Widths 1 and 2 put every kernel entry into the spare columns (ASan watches the rows).
  for (int32_t width : {1, 2, 3}) {
    TPicture picture = MakePhoto(width, 9);
    TLockedRows argb(width, 9, 4, 0, false), indexed(width, 9, 1, 0, false);
    argb.Load(picture);
    std::array<uint32_t, 256> palette{};
    TOctreeQuantizer quantizer(4, 8);
    QuantizeRows(quantizer, argb.Rows(), palette, indexed.Rows());
    for (int32_t y = 0; y < 9; ++y)
      for (int32_t x = 0; x < width; ++x) EXPECT_LT(indexed.Index(x, y), quantizer.Octree().LeafCount());
  }
}

}  // namespace
}  // namespace quantize::test
