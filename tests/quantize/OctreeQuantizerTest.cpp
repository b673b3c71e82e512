#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "TestPictures.h"
#include "base/Exceptions.h"
#include "quantize/OctreeQuantizer.h"

namespace quantize::test {
namespace {

constexpr uint32_t kUntouched = 0x5A5A5A5A;

TEST(OctreeQuantizerTest, CreationRefusesColourCountsAndDepthsItCannotServe) {
  struct {
    int32_t colors, bits;
    const char* message;  // nullptr: accepted
  } cases[] = {
      {256, 8, "The number of colors should be less than 256"},
      {1000, 0, "The number of colors should be less than 256"},  // the colour count is checked first
      {16, 0, "This should be between 1 and 8"},
      {16, 9, "This should be between 1 and 8"},
      {16, -1, "This should be between 1 and 8"},
      {1, 8, "The number of colors should be at least 2"},  // merging could never reach 0 leaves
      {0, 8, "The number of colors should be at least 2"},
      {-5, 8, "The number of colors should be at least 2"},
      {2, 1, nullptr},
      {255, 8, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.colors << " colours, " << c.bits << " bits");
    if (c.message == nullptr) {
      EXPECT_NO_THROW(TOctreeQuantizer(c.colors, c.bits));
      continue;
    }
    try {
      TOctreeQuantizer quantizer(c.colors, c.bits);
      ADD_FAILURE() << "accepted";
    } catch (const base::Exception& e) {
      EXPECT_EQ(e.Message(), c.message);
    }
  }
}

TEST(OctreeQuantizerTest, OneColourPictureGivesOneLeafAndIndexZeroEverywhere) {
  TPicture picture{5, 3, std::vector<uint32_t>(15, 0xFF336699)};
  TLockedRows argb(5, 3, 4, 0, false), indexed(5, 3, 1, 3, false);
  argb.Load(picture);
  std::array<uint32_t, 256> palette;
  palette.fill(kUntouched);
  TOctreeQuantizer quantizer(255, 8);
  QuantizeRows(quantizer, argb.Rows(), palette, indexed.Rows());
  EXPECT_EQ(quantizer.Octree().LeafCount(), 1);
  EXPECT_EQ(palette[0], 0xFF336699u);
  EXPECT_EQ(palette[1], kUntouched);
  EXPECT_EQ(palette[255], 0xFF000000u);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 5; ++x) {
      EXPECT_EQ(indexed.Index(x, y), 0);
      EXPECT_EQ(argb.Pixel(x, y), 0xFF336699u);
    }
}

TEST(OctreeQuantizerTest, ThousandColoursMergeToAtMost254Leaves) {
  TPicture picture{40, 25, {}};
  for (uint32_t i = 0; i < 1000; ++i)
    picture.Pixels.push_back(MakeArgb(255, static_cast<uint8_t>(i * 7), static_cast<uint8_t>(i / 4 * 13),
                                      static_cast<uint8_t>(i * 151 % 256)));
  TLockedRows argb(40, 25, 4, 0, false), indexed(40, 25, 1, 0, false);
  argb.Load(picture);
  std::array<uint32_t, 256> palette;
  palette.fill(kUntouched);
  TOctreeQuantizer quantizer(255, 8);
  QuantizeRows(quantizer, argb.Rows(), palette, indexed.Rows());
  const int32_t leaves = quantizer.Octree().LeafCount();
  EXPECT_LE(leaves, 254);
  EXPECT_GT(leaves, 128);
  EXPECT_EQ(palette[255], 0xFF000000u);
  EXPECT_EQ(palette[254], kUntouched);
  for (int32_t i = 0; i < leaves; ++i) EXPECT_EQ(palette[i] >> 24, 0xFFu) << "entry " << i;
  for (int32_t y = 0; y < 25; ++y)
    for (int32_t x = 0; x < 40; ++x) ASSERT_LT(indexed.Index(x, y), leaves);
  EXPECT_EQ(quantizer.PixelIndex(0x00FFFFFF), 255);  // transparent answers maxColors
  EXPECT_LT(quantizer.PixelIndex(0x01FFFFFF), 255);  // any other alpha is a colour
}

TEST(OctreeQuantizerTest, ColourOffTheTreeTakesTheNearestLeaf) {
  TOctree tree(8);
  tree.InsertColor(0xFF000000);  // black: child 0 at every level
  tree.InsertColor(0xFF0000FF);  // blue: child 1 at every level
  tree.InsertColor(0xFF7F0000);  // dark red: child 0 at level 0, then 4
  const std::vector<uint32_t> palette = tree.MakePalette(254);
  ASSERT_EQ(palette, (std::vector<uint32_t>{0xFF000000, 0xFF7F0000, 0xFF0000FF}));
  struct {
    uint32_t color;
    int32_t index;
  } cases[] = {
      {0xFF000000, 0}, {0xFF7F0000, 1}, {0xFF0000FF, 2},  // in the tree: their own leaves
      {0xFFFF0000, 1},  // red: child 4 missing at the root; dark red is nearest, not blue (the highest child)
      {0xFF00FF00, 0},  // green: black is nearer than dark red or blue
      {0xFF000001, 0},  // black's branch down to level 7, then off the tree by one
      {0xFF400000, 1},  // 63 from dark red, 64 from black
      {0xFF3F0000, 0},  // 63 from black, 64 from dark red
      {0xFF7F00FF, 2},  // blue's branch at level 0, then off it: blue is still nearest
      {0xFF00007F, 0},  // 127 from black, 128 from blue
  };
  for (const auto& c : cases) {
    uint32_t color = 0;
    EXPECT_EQ(tree.FindIndex(c.color, color), c.index) << std::hex << c.color;
    EXPECT_EQ(color, palette[c.index]) << std::hex << c.color;
  }
}

TEST(OctreeQuantizerTest, RememberedAnswersMatchFreshOnes) {
  // Off-tree answers are remembered in a table by colour hash, so colours share places.
  // Two equal trees asked the same colours in opposite orders (each colour twice) must
  // answer alike: the order of asking decides what is remembered, never the answer.
  auto makeTree = [] {
    auto tree = std::make_unique<TOctree>(8);
    // Four clusters in the corners of the colour cube: most of the cube is off the tree.
    const uint32_t corners[] = {0xFF000000u, 0xFFC0C0C0u, 0xFFC00000u, 0xFF00C0C0u};
    for (uint32_t i = 0; i < 3000; ++i) tree->InsertColor(corners[i % 4] | ((i * 2654435761u >> 8) & 0x3F3F3Fu));
    tree->MakePalette(254);
    return tree;
  };
  const auto forward = makeTree(), backward = makeTree();
  std::vector<uint32_t> asked;
  for (uint32_t i = 0; i < 40000; ++i) asked.push_back(0xFF000000u | (i * 40503u * 97u + (i >> 3)) % 0x1000000u);
  std::vector<uint64_t> answers(asked.size());
  for (int pass = 0; pass < 2; ++pass)
    for (size_t i = 0; i < asked.size(); ++i) {
      uint32_t color = 0;
      const int32_t index = forward->FindIndex(asked[i], color);
      const uint64_t answer = uint64_t{color} << 32 | static_cast<uint32_t>(index);
      if (pass == 0) answers[i] = answer;
      ASSERT_EQ(answer, answers[i]) << std::hex << asked[i];
    }
  for (int pass = 0; pass < 2; ++pass)
    for (size_t i = asked.size(); i-- > 0;) {
      uint32_t color = 0;
      const int32_t index = backward->FindIndex(asked[i], color);
      ASSERT_EQ(uint64_t{color} << 32 | static_cast<uint32_t>(index), answers[i]) << std::hex << asked[i];
    }
  EXPECT_GT(forward->LeafCount(), 200);
}

TEST(OctreeQuantizerTest, ColourInsideAMergedLeafKeepsThatLeaf) {
  // Two leaves at level 1 after merging: the dark octant's average and white. A colour
  // of white's octant stays with white even where the average is nearer.
  TOctree tree(8);
  for (uint32_t c : {0xFF000000u, 0xFF101010u, 0xFF7F7F7Fu, 0xFFFFFFFFu}) tree.InsertColor(c);
  ASSERT_EQ(tree.MakePalette(2), (std::vector<uint32_t>{0xFF2F2F2F, 0xFFFFFFFF}));  // 143 / 3 = 47
  uint32_t color = 0;
  EXPECT_EQ(tree.FindIndex(0xFF7F7F7F, color), 0);
  EXPECT_EQ(tree.FindIndex(0xFF808080, color), 1);  // white's octant: 81 per channel from the average
  EXPECT_EQ(color, 0xFFFFFFFFu);
  EXPECT_EQ(tree.FindIndex(0xFF7F7FC0, color), 0);  // an empty octant: the average is nearest
  EXPECT_EQ(tree.FindIndex(0xFFC0C07F, color), 1);  // an empty octant: white is nearest
}

TEST(OctreeQuantizerTest, MergingStopsWhenNothingIsLeftToMerge) {
  TOctree tree(3);
  for (uint32_t c : {0xFF000000u, 0xFFFFFFFFu, 0xFF00FF00u, 0xFF808080u}) tree.InsertColor(c);
  EXPECT_EQ(tree.LeafCount(), 4);
  // A limit below one leaf (which the quantizer refuses) still ends, with the root alone.
  const std::vector<uint32_t> palette = tree.MakePalette(0);
  EXPECT_EQ(tree.LeafCount(), 1);
  EXPECT_EQ(palette, std::vector<uint32_t>{MakeArgb(255, 0x5F, 0x9F, 0x5F)});  // 383/4, 638/4, 383/4
  TOctree empty(8);
  EXPECT_TRUE(empty.MakePalette(10).empty());
  uint32_t color = 1;
  EXPECT_EQ(empty.FindIndex(0xFF123456, color), 0);
  EXPECT_EQ(color, 0xFF000000u);
}

TEST(OctreeQuantizerTest, LargeLeafAveragesWithoutOverflow) {
  // 17 million white pixels: their channel sums pass 2^32.
  TOctree tree(8);
  for (int i = 0; i < 17'000'000; ++i) tree.InsertColor(0xFFFFFFFF);
  tree.InsertColor(0xFFFEFEFE);
  EXPECT_EQ(tree.MakePalette(1), std::vector<uint32_t>{0xFFFEFEFEu});  // sum / count rounds down
}

TEST(OctreeQuantizerTest, MergingTakesTheNewestNodeOfTheDeepestLevel) {
  TOctree tree(2);
  tree.InsertColor(0xFF000000);  // level-1 node A (child 0), leaf under it
  tree.InsertColor(0xFF400000);  // second leaf under A (red bit 6)
  tree.InsertColor(0xFFC00000);  // level-1 node B (child 4), leaf under it
  tree.InsertColor(0xFFFFFF00);  // level-1 node C (child 6), newest: merged first
  tree.InsertColor(0xFFBFFF00);  // second leaf under C
  ASSERT_EQ(tree.LeafCount(), 5);
  EXPECT_EQ(tree.MakePalette(4), (std::vector<uint32_t>{0xFF000000, 0xFF400000, 0xFFC00000, 0xFFDFFF00}));
  // B has one child: merging it gains nothing, so A (the oldest) follows.
  EXPECT_EQ(tree.MakePalette(3), (std::vector<uint32_t>{0xFF200000, 0xFFC00000, 0xFFDFFF00}));
  EXPECT_EQ(tree.LeafCount(), 3);
  // Level 1 is used up: the root merges, averaging all five pixels.
  EXPECT_EQ(tree.MakePalette(2), std::vector<uint32_t>{0xFF8C6600});
  // Merges stay made when a later call allows more colours.
  EXPECT_EQ(tree.MakePalette(10), std::vector<uint32_t>{0xFF8C6600});
  EXPECT_EQ(tree.LeafCount(), 1);
}

TEST(OctreeQuantizerTest, LeavesAnswerIndexZeroUntilThePaletteIsMade) {
  TOctree tree(8);
  for (uint32_t c : {0xFF102030u, 0xFF102030u, 0xFFF0E0D0u}) tree.InsertColor(c);
  uint32_t color = 0;
  EXPECT_EQ(tree.FindIndex(0xFFF0E0D0, color), 0);
  EXPECT_EQ(color, 0xFFF0E0D0u);
  EXPECT_EQ(tree.MakePalette(254), (std::vector<uint32_t>{0xFF102030, 0xFFF0E0D0}));
  EXPECT_EQ(tree.FindIndex(0xFFF0E0D0, color), 1);
  EXPECT_EQ(tree.FindIndex(0xFF102030, color), 0);
  EXPECT_EQ(color, 0xFF102030u);
}

TEST(OctreeQuantizerTest, EmptyRowsMapNothing) {
  TOctreeQuantizer quantizer(16, 8);
  std::array<uint32_t, 256> palette;
  palette.fill(kUntouched);
  TLockedRows argb(0, 4, 4, 0, false), indexed(0, 4, 1, 0, false);
  QuantizeRows(quantizer, argb.Rows(), palette, indexed.Rows());
  EXPECT_EQ(palette[0], kUntouched);
  EXPECT_EQ(palette[16], 0xFF000000u);
}

}  // namespace
}  // namespace quantize::test
