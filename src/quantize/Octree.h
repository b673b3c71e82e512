// The colour octree: collects the colours of a picture, merges its deepest branches
// until a colour limit is met, and numbers the remaining leaves as a palette.
//
// Merging always takes the most recently created inner node of the deepest level that
// still has one, so the tree it ends with depends only on which colours arrived, how
// often, and in which order their branches first appeared. Collecting therefore keeps
// just that (a count per colour, the branches of each level in order of creation), and
// the nodes are built when the palette is made: only the few hundred that survive the
// merging, instead of millions scattered through memory.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace quantize {

struct TOctreeNode {
  // Child index at a node of level L: bit (7 - L) of red * 4 + of green * 2 + of blue.
  std::array<TOctreeNode*, 8> Child{};
  // 64-bit sums: one leaf may hold every pixel of a picture far beyond 16 megapixels.
  uint64_t RedSum = 0, GreenSum = 0, BlueSum = 0;
  uint32_t PixelCount = 0;
  int32_t PaletteIndex = 0;
  uint32_t Color = 0xFF000000u;  // the sums' average with alpha 255 (black for no pixels)
  bool Leaf = false;
};

class TOctree {
 public:
  // maxColorBits (1..8) is the depth of the leaves; other values raise base::Exception
  // "This should be between 1 and 8".
  explicit TOctree(int32_t maxColorBits);
  ~TOctree();
  TOctree(const TOctree&) = delete;
  TOctree& operator=(const TOctree&) = delete;

  // Adds one pixel; its alpha is ignored. A run of one colour costs one count. Colours
  // belong before MakePalette: merging is worked out from every colour seen by then.
  void InsertColor(uint32_t argb);
  // The palette index and colour (alpha 255) of the leaf that stands for argb. A colour
  // that was never added follows, at each level where its own child is missing, the
  // existing child with the highest index. Indices are 0 until MakePalette numbers them.
  int32_t FindIndex(uint32_t argb, uint32_t& color);
  // Merges until at most colorLimit leaves remain (or nothing is left to merge), then
  // numbers the leaves depth-first and answers their average colours in index order.
  // Merges are never undone: a later, larger limit keeps the tree as it is.
  std::vector<uint32_t> MakePalette(int32_t colorLimit);

  // Leaves of the tree: distinct colours at the tree's depth, less what merging removed.
  int32_t LeafCount() const { return FLeafCount; }
  int32_t MaxColorBits() const { return FMaxColorBits; }

 private:
  int32_t ChildrenOf(int32_t level, uint32_t branch) const;
  bool IsLeaf(int32_t level, uint32_t branch) const;
  void BuildNodes();
  void BuildShortcuts();
  void DropNodes();
  TOctreeNode* NewNode();
  void NumberLeaves(TOctreeNode* node, std::vector<uint32_t>& palette);

  int32_t FMaxColorBits;
  int32_t FLeafCount = 0;

  // What collecting keeps. Branches are numbered by their path: level L's branch of a
  // colour is the top 3 * L bits of its interleaved code (see Octree.cpp).
  struct TFree {
    void operator()(void* block) const;
  };
  std::unique_ptr<uint32_t[], TFree> FCounts;  // pixels per colour, by code (64 MB, pages zeroed on first touch)
  std::vector<uint32_t> FColors;               // distinct colours (RGB), first seen first
  // Levels 1..7 (up to the leaves' level): 0 absent, 1 present, 2 merged. Level 8 is FCounts.
  std::array<std::unique_ptr<uint8_t[], TFree>, 8> FBranches;
  std::array<std::vector<uint32_t>, 8> FCreated;  // inner branches of each level, oldest first
  uint32_t FLastColor = 0;
  uint32_t FLastCode = 0;
  bool FHaveLast = false;

  // How far merging has gone: every inner branch below FMergeLevel is merged, and the
  // FMergedAtLevel newest of FMergeLevel.
  int32_t FMergeLevel;
  size_t FMergedAtLevel = 0;
  bool FNumbered = false;

  // The tree itself, built from the above on demand and dropped when colours arrive.
  std::vector<std::unique_ptr<TOctreeNode[]>> FChunks;
  size_t FChunkUsed = 0;
  TOctreeNode* FRoot = nullptr;
  std::vector<uint32_t> FPalette;  // leaf colours in palette order, once numbered
  // FindIndex's answer for every path through the first kShortcutLevels levels: a
  // palette tree rarely goes deeper, so most lookups end with one read of this table.
  // Paths that go on deeper point into FDeepShortcuts (Index = -1 - position).
  struct TShortcut {
    uint32_t Color;
    int32_t Index;
  };
  struct TDeepShortcut {
    const TOctreeNode* Node;
    int32_t Level;
  };
  static constexpr int32_t kShortcutLevels = 4;
  std::vector<TShortcut> FShortcuts;
  std::vector<TDeepShortcut> FDeepShortcuts;
};

}  // namespace quantize
