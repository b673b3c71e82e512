// Whole quantizations against the expected outputs of data/make_golden.py, an
// independent model of the octree, its merging order, the lookup and the ditherer.
#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "TestPictures.h"
#include "quantize/OctreeQuantizer.h"

namespace quantize::test {
namespace {

struct TGolden {
  std::vector<uint32_t> Palette;
  int32_t Width = 0, Height = 0;
  std::vector<std::vector<uint8_t>> Indices;
};

TGolden ReadGolden(const std::string& name) {
  std::ifstream in(std::string(QUANTIZE_TEST_DATA) + name + ".golden");
  EXPECT_TRUE(in) << name;
  TGolden g;
  std::string line, word;
  std::getline(in, line);  // the comment naming the case
  size_t count = 0;
  in >> word >> count;
  EXPECT_EQ(word, "palette");
  for (size_t i = 0; i < count; ++i) {
    in >> word;
    g.Palette.push_back(static_cast<uint32_t>(std::stoul(word, nullptr, 16)));
  }
  in >> word >> g.Width >> g.Height;
  EXPECT_EQ(word, "indices");
  for (int32_t y = 0; y < g.Height; ++y) {
    in >> word;
    std::vector<uint8_t> row;
    for (size_t x = 0; x + 1 < word.size(); x += 2)
      row.push_back(static_cast<uint8_t>(std::stoul(word.substr(x, 2), nullptr, 16)));
    g.Indices.push_back(row);
  }
  return g;
}

struct TCase {
  const char* Name;
  TPicture (*Make)(int32_t, int32_t);
  int32_t Width, Height, MaxColors, Bits;
  bool BottomUp;
};

void PrintTo(const TCase& c, std::ostream* os) { *os << c.Name; }

class QuantizerGoldenTest : public ::testing::TestWithParam<TCase> {};

TEST_P(QuantizerGoldenTest, MatchesTheReferenceModel) {
  const TCase& c = GetParam();
  const TGolden golden = ReadGolden(c.Name);
  ASSERT_EQ(golden.Width, c.Width);
  ASSERT_EQ(golden.Height, c.Height);
  const TPicture picture = c.Make(c.Width, c.Height);
  TLockedRows argb(c.Width, c.Height, 4, 8, c.BottomUp);
  TLockedRows indexed(c.Width, c.Height, 1, (4 - c.Width % 4) % 4, c.BottomUp);
  argb.Load(picture);
  constexpr uint32_t kUntouched = 0x5A5A5A5A;
  std::array<uint32_t, 256> palette;
  palette.fill(kUntouched);

  TOctreeQuantizer quantizer(c.MaxColors, c.Bits);
  QuantizeRows(quantizer, argb.Rows(), palette, indexed.Rows());

  const size_t n = golden.Palette.size();
  EXPECT_LT(static_cast<int32_t>(n), c.MaxColors);
  EXPECT_EQ(std::vector<uint32_t>(palette.begin(), palette.begin() + n), golden.Palette);
  for (size_t i = n; i < palette.size(); ++i)
    EXPECT_EQ(palette[i], static_cast<int32_t>(i) == c.MaxColors ? 0xFF000000u : kUntouched) << "entry " << i;
  for (int32_t y = 0; y < c.Height; ++y)
    for (int32_t x = 0; x < c.Width; ++x) {
      ASSERT_EQ(indexed.Index(x, y), golden.Indices[y][x]) << "pixel " << x << "," << y;
      ASSERT_EQ(argb.Pixel(x, y), palette[indexed.Index(x, y)]) << "written back at " << x << "," << y;
    }

  // The dithering through the lookup, which processors without SSE2 take, gives the
  // same indices as the inlined walk.
  TLockedRows argbLookup(c.Width, c.Height, 4, 8, c.BottomUp);
  TLockedRows indexedLookup(c.Width, c.Height, 1, (4 - c.Width % 4) % 4, c.BottomUp);
  argbLookup.Load(picture);
  TOctreeQuantizer lookupQuantizer(c.MaxColors, c.Bits);
  lookupQuantizer.CollectColors(argbLookup.Rows());
  lookupQuantizer.FillPalette(palette);
  lookupQuantizer.TQuantizer::MapPixels(argbLookup.Rows(), indexedLookup.Rows());
  for (int32_t y = 0; y < c.Height; ++y)
    for (int32_t x = 0; x < c.Width; ++x) ASSERT_EQ(indexedLookup.Index(x, y), golden.Indices[y][x]) << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(Pictures, QuantizerGoldenTest,
                         ::testing::Values(TCase{"gradient_8_4", MakeGradient, 32, 16, 8, 4, false},
                                           TCase{"photo_255_8", MakePhoto, 64, 48, 255, 8, false},
                                           TCase{"photo_16_8", MakePhoto, 64, 48, 16, 8, true},
                                           TCase{"photo_64_5", MakePhoto, 64, 48, 64, 5, false},
                                           TCase{"photo_2_3", MakePhoto, 64, 48, 2, 3, true},
                                           TCase{"gradient_255_8", MakeGradient, 32, 16, 255, 8, false}),
                         [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace quantize::test
