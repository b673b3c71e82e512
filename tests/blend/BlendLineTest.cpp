// Both families of line blends against their per-channel formulas, written here one
// channel at a time, independent of the routines' word-pair and 16-bit-lane tricks.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "blend/BlendLine.h"
#include "blend/BlendMMX.h"
#include "blend/BlendPlain.h"
#include "blend/CpuFeatures.h"

namespace {

using TOver = void (*)(const uint32_t*, uint32_t*, int32_t);
using TOverMaster = void (*)(const uint32_t*, uint32_t*, int32_t, uint8_t);
using TConstant = void (*)(const uint32_t*, uint32_t*, int32_t, int32_t, uint8_t);

uint32_t Channel(uint32_t pixel, int c) { return (pixel >> (8 * c)) & 0xFF; }

uint32_t PerChannel(uint32_t f, uint32_t b, uint32_t (*mix)(uint32_t, uint32_t, uint32_t), uint32_t w) {
  uint32_t out = 0;
  for (int c = 0; c < 4; ++c) out |= mix(Channel(f, c), Channel(b, c), w) << (8 * c);
  return out;
}

uint32_t MixPlain(uint32_t f, uint32_t b, uint32_t a) { return ((a * f + 128) >> 8) + (((255 - a) * b + 128) >> 8); }
uint32_t MixMMX(uint32_t f, uint32_t b, uint32_t a) {
  return static_cast<uint32_t>((256 * static_cast<int32_t>(b) +
                                static_cast<int32_t>(a) * (static_cast<int32_t>(f) - static_cast<int32_t>(b)) + 128) >>
                               8);
}

uint32_t OverPlain(uint32_t f, uint32_t b, uint8_t) {
  const uint32_t a = f >> 24;
  return a == 0 ? b : a == 255 ? f : PerChannel(f, b, MixPlain, a);
}
uint32_t OverMMX(uint32_t f, uint32_t b, uint8_t) {
  const uint32_t a = f >> 24;
  return a == 0 ? b : a == 255 ? f : PerChannel(f, b, MixMMX, a);
}
uint32_t MasterPlain(uint32_t f, uint32_t b, uint8_t m) {
  const uint32_t w = ((m + 1u) * (f >> 24)) >> 8;
  if (w == 0) return b;
  return (w == 255 ? f : PerChannel(f, b, MixPlain, w)) & 0x00FFFFFF;
}
uint32_t MasterMMX(uint32_t f, uint32_t b, uint8_t m) {
  const uint32_t w = (((f >> 24) + 1) * m) >> 8;
  return w == 0 ? b : PerChannel(f, b, MixMMX, w);
}
uint32_t ConstantFormula(uint32_t f, uint32_t b, uint8_t a, int32_t bias) {
  uint32_t out = 0;
  for (int c = 0; c < 4; ++c) {
    const int64_t t = (Channel(b, c) * (256 - a) + a * Channel(f, c)) >> 8;
    out |= static_cast<uint32_t>(std::clamp<int64_t>(t + bias, 0, 255)) << (8 * c);
  }
  return out;
}

struct TPath {
  std::string Name;
  TOver Over;
  TOverMaster OverMaster;
  TConstant Constant;
  uint32_t (*ExpectOver)(uint32_t, uint32_t, uint8_t);
  uint32_t (*ExpectMaster)(uint32_t, uint32_t, uint8_t);
};

std::vector<TPath> Paths() {
  std::vector<TPath> paths{{"plain", blend::BlendLineOverPlain, blend::BlendLineOverMasterPlain,
                            blend::BlendLineConstantPlain, OverPlain, MasterPlain}};
#if BLEND_HAVE_MMX
  if (blend::DetectMMX()) {
    paths.push_back({"mmx", blend::BlendLineOverMMX, blend::BlendLineOverMasterMMX, blend::BlendLineConstantMMX,
                     OverMMX, MasterMMX});
    // Every wider path the processor offers gives the same bytes as MMX alone.
    const TOver wide[] = {
        [](const uint32_t* s, uint32_t* d, int32_t n) { blend::BlendLineOverMMXWith(s, d, n, blend::wpNone); },
        [](const uint32_t* s, uint32_t* d, int32_t n) { blend::BlendLineOverMMXWith(s, d, n, blend::wpSSE2); },
        [](const uint32_t* s, uint32_t* d, int32_t n) { blend::BlendLineOverMMXWith(s, d, n, blend::wpAVX2); }};
    const char* names[] = {"mmx_narrow", "mmx_sse2", "mmx_avx2"};
    for (int p = 0; p <= blend::BlendWidePath(); ++p)
      paths.push_back(
          {names[p], wide[p], blend::BlendLineOverMasterMMX, blend::BlendLineConstantMMX, OverMMX, MasterMMX});
  }
#endif
  // What the start-up choice dispatches to must behave like the family it chose.
  const bool mmx = blend::BlendUsesMMX();
  paths.push_back({mmx ? "dispatched_mmx" : "dispatched_plain", blend::BlendLineOver, blend::BlendLineOverMaster,
                   blend::BlendLineConstant, mmx ? OverMMX : OverPlain, mmx ? MasterMMX : MasterPlain});
  return paths;
}

constexpr uint8_t kLevels[] = {0, 1, 127, 128, 254, 255};

// One row of sources with a given alpha and every mix of the levels in blue, green and
// red, against one row of destinations with every mix of the levels in all four bytes.
void MakeRows(uint8_t alpha, std::vector<uint32_t>& source, std::vector<uint32_t>& dest) {
  source.clear();
  dest.clear();
  for (uint8_t r : kLevels)
    for (uint8_t g : kLevels)
      for (uint8_t b : kLevels) source.push_back(uint32_t{alpha} << 24 | uint32_t{r} << 16 | uint32_t{g} << 8 | b);
  for (uint8_t a : kLevels)
    for (uint8_t r : kLevels)
      for (uint8_t g : kLevels)
        for (uint8_t b : kLevels) dest.push_back(uint32_t{a} << 24 | uint32_t{r} << 16 | uint32_t{g} << 8 | b);
}

class BlendPathTest : public ::testing::TestWithParam<TPath> {};

TEST_P(BlendPathTest, EveryAlphaMasterAndColourMatchesThePathsFormula) {
  const TPath& path = GetParam();
  std::vector<uint32_t> source, dest;
  for (uint8_t alpha : kLevels) {
    MakeRows(alpha, source, dest);
    for (size_t s = 0; s < source.size(); ++s) {
      std::vector<uint32_t> out;
      std::vector<uint32_t> front(dest.size(), source[s]);
      out = dest;
      path.Over(front.data(), out.data(), static_cast<int32_t>(out.size()));
      for (size_t i = 0; i < dest.size(); ++i)
        ASSERT_EQ(out[i], path.ExpectOver(source[s], dest[i], 0)) << std::hex << source[s] << " over " << dest[i];
      for (uint8_t master : kLevels) {
        out = dest;
        path.OverMaster(front.data(), out.data(), static_cast<int32_t>(out.size()), master);
        for (size_t i = 0; i < dest.size(); ++i)
          ASSERT_EQ(out[i], path.ExpectMaster(source[s], dest[i], master))
              << std::hex << source[s] << " over " << dest[i] << " master " << std::dec << int{master};
      }
    }
  }
}

TEST_P(BlendPathTest, ConstantAlphaMatchesTheFormulaWithBiasClamped) {
  const TPath& path = GetParam();
  std::vector<uint32_t> source, dest;
  MakeRows(255, source, dest);
  // Pair each destination with a varying source pixel of varying alpha.
  for (size_t i = 0; i < source.size(); ++i) source[i] = source[i] ^ (static_cast<uint32_t>(i * 37) << 24);
  std::vector<uint32_t> front(dest.size());
  for (size_t i = 0; i < dest.size(); ++i) front[i] = source[i % source.size()];
  for (uint8_t alpha : kLevels)
    for (int32_t bias : {0, 1, -1, 10, -10, 254, 300, -300, INT_MAX, INT_MIN}) {
      std::vector<uint32_t> out = dest;
      path.Constant(front.data(), out.data(), static_cast<int32_t>(out.size()), bias, alpha);
      for (size_t i = 0; i < dest.size(); ++i)
        ASSERT_EQ(out[i], ConstantFormula(front[i], dest[i], alpha, bias))
            << std::hex << front[i] << " over " << dest[i] << std::dec << " alpha " << int{alpha} << " bias " << bias;
      if (alpha == 0 && bias == 0) {
        EXPECT_EQ(out, dest);
      }
    }
}

TEST_P(BlendPathTest, ShortAndUnalignedRowsTouchOnlyTheirPixels) {
  const TPath& path = GetParam();
  constexpr uint32_t kGuard = 0xDEADBEEF;
  for (int32_t offset : {0, 1}) {
    for (int32_t count : {-7, -1, 0, 1, 2, 3, 7, 8, 9}) {
      const int32_t n = std::max(count, 0);
      // Heap rows of exactly the pixels in play (ASan sees any stray read or write),
      // starting on an odd pixel for offset 1.
      std::vector<uint32_t> source(static_cast<size_t>(n + offset)), dest(static_cast<size_t>(n + offset + 1));
      for (int32_t i = 0; i < n + offset; ++i) source[i] = 0x80000000u | static_cast<uint32_t>(i * 0x0A1B2C);
      for (auto& d : dest) d = kGuard;
      auto check = [&](auto run, auto expect, const char* what) {
        std::fill(dest.begin(), dest.end(), kGuard);
        run();
        for (int32_t i = 0; i < n + offset + 1; ++i) {
          const bool inRow = i >= offset && i < offset + n;
          ASSERT_EQ(dest[i], inRow ? expect(source[i]) : kGuard)
              << what << " count " << count << " offset " << offset << " pixel " << i;
        }
      };
      const uint32_t* src = source.data() + offset;
      uint32_t* dst = dest.data() + offset;
      check([&] { path.Over(src, dst, count); }, [&](uint32_t f) { return path.ExpectOver(f, kGuard, 0); }, "over");
      check([&] { path.OverMaster(src, dst, count, 200); },
            [&](uint32_t f) { return path.ExpectMaster(f, kGuard, 200); }, "master");
      check([&] { path.Constant(src, dst, count, 0, 99); },
            [&](uint32_t f) { return ConstantFormula(f, kGuard, 99, 0); }, "constant");
    }
  }
}

TEST_P(BlendPathTest, RunsOfMixedAlphaMatchTheFormulaAtEveryStart) {
  // Runs of 1 to 9 pixels of each level, so that groups of four come all clear, all
  // opaque or mixed (clear and opaque pixels among blended ones), from every start
  // offset, with a tail of any length.
  const TPath& path = GetParam();
  std::vector<uint32_t> source, dest;
  uint32_t seed = 12345;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
  for (int run = 0; source.size() < 300; ++run) {
    const uint32_t alpha = kLevels[(run * 5 + run / 6) % 6];
    for (int k = 0; k < 1 + run % 9; ++k) source.push_back(alpha << 24 | (next() >> 8));
  }
  for (size_t i = 0; i < source.size(); ++i) dest.push_back(next());
  for (int32_t offset = 0; offset < 4; ++offset)
    for (int32_t count : {static_cast<int32_t>(source.size()) - offset, 61, 9, 8, 5, 4}) {
      std::vector<uint32_t> out = dest;
      path.Over(source.data() + offset, out.data() + offset, count);
      for (int32_t i = 0; i < static_cast<int32_t>(dest.size()); ++i) {
        const bool inRow = i >= offset && i < offset + count;
        ASSERT_EQ(out[i], inRow ? path.ExpectOver(source[i], dest[i], 0) : dest[i])
            << std::hex << source[i] << " over " << dest[i] << std::dec << " at " << i << " offset " << offset
            << " count " << count;
      }
    }
}

TEST_P(BlendPathTest, AlphaZeroNeverChangesTheDestination) {
  const TPath& path = GetParam();
  std::vector<uint32_t> source, dest;
  MakeRows(0, source, dest);
  std::vector<uint32_t> front(dest.size());
  for (size_t i = 0; i < dest.size(); ++i) front[i] = source[i % source.size()];
  std::vector<uint32_t> out = dest;
  path.Over(front.data(), out.data(), static_cast<int32_t>(out.size()));
  EXPECT_EQ(out, dest);
  for (int master = 0; master < 256; ++master) {
    path.OverMaster(front.data(), out.data(), static_cast<int32_t>(out.size()), static_cast<uint8_t>(master));
    ASSERT_EQ(out, dest) << "master " << master;
  }
}

INSTANTIATE_TEST_SUITE_P(Paths, BlendPathTest, ::testing::ValuesIn(Paths()),
                         [](const auto& info) { return info.param.Name; });

// The worked example: half-transparent red over opaque blue, in each family's rounding.
TEST(BlendLineTest, HalfTransparentRedOverOpaqueBlue) {
  const uint32_t red = 0x80FF0000, blue = 0xFF0000FF;
  uint32_t out = blue;
  blend::BlendLineOverPlain(&red, &out, 1);
  EXPECT_EQ(out, 0xBF80007Fu);  // alpha 191, red 128, green 0, blue 127
#if BLEND_HAVE_MMX
  if (blend::DetectMMX()) {
    out = blue;
    blend::BlendLineOverMMX(&red, &out, 1);
    EXPECT_EQ(out, 0xC0800080u);  // alpha 192, red 128, green 0, blue 128
  }
#endif
  out = blue;
  blend::BlendLineOver(&red, &out, 1);
  EXPECT_EQ(out, blend::BlendUsesMMX() ? 0xC0800080u : 0xBF80007Fu);
}

TEST(BlendLineTest, OpaqueSourceCopiesExceptWithMasterOnMMX) {
  const uint32_t white = 0xFFFFFFFF, clear = 0x00000000;
  uint32_t out = clear;
  blend::BlendLineOverPlain(&white, &out, 1);
  EXPECT_EQ(out, white);
  out = clear;
  blend::BlendLineOverMasterPlain(&white, &out, 1, 255);
  EXPECT_EQ(out, 0x00FFFFFFu);  // colour copied, alpha 0 as this form always writes
#if BLEND_HAVE_MMX
  if (blend::DetectMMX()) {
    out = clear;
    blend::BlendLineOverMMX(&white, &out, 1);
    EXPECT_EQ(out, white);
    out = clear;
    blend::BlendLineOverMasterMMX(&white, &out, 1, 255);
    EXPECT_EQ(out, 0xFEFEFEFEu);  // (0 + 255 * 255 + 128) >> 8 = 254 in every byte
  }
#endif
}

}  // namespace
