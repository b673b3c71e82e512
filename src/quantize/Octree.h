// The colour octree: collects the colours of a picture, merges its deepest branches
// until a colour limit is met, and numbers the remaining leaves as a palette.
//
// Merging always takes the most recently created inner node of the deepest level that
// still has one, so the tree it ends with depends only on which branches exist at each
// level and in which order they first appeared. Collecting therefore keeps just that
// (which branches of each level exist, and the first few of each level in order of
// creation) plus the picture's colours as they came, run-length coded, and their sums
// per cell of the colour cube: at most 4 bytes per pixel and about 450 KB besides. The nodes are built when the palette
// is made, only the few hundred that survive the merging.
#pragma once

#include <array>
#include <climits>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace quantize {

// A colour's code interleaves its bits from the top: red, green, blue of bit 7, then of
// bit 6, and so on. Each 3-bit group is the child index at one level, so the top 3 * L
// bits name the colour's branch at level L, and the colours of a branch are contiguous.
constexpr std::array<uint32_t, 256> MakeColorCodeSpread() {
  std::array<uint32_t, 256> spread{};
  for (uint32_t v = 0; v < 256; ++v)
    for (int bit = 0; bit < 8; ++bit) spread[v] |= ((v >> bit) & 1) << (3 * bit);
  return spread;
}
inline constexpr std::array<uint32_t, 256> kColorCodeSpread = MakeColorCodeSpread();

inline uint32_t ColorCode(uint32_t rgb) {
  return kColorCodeSpread[(rgb >> 16) & 0xFF] << 2 | kColorCodeSpread[(rgb >> 8) & 0xFF] << 1 |
         kColorCodeSpread[rgb & 0xFF];
}

// An allocator whose resize leaves new elements unset, for buffers that are written right
// after they grow.
template <typename T>
struct TUninitialized : std::allocator<T> {
  template <typename U>
  struct rebind {
    using other = TUninitialized<U>;
  };
  TUninitialized() = default;
  template <typename U>
  TUninitialized(const TUninitialized<U>&) noexcept {}
  template <typename U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};

struct TOctreeNode {
  // Child index at a node of level L: bit (7 - L) of red * 4 + of green * 2 + of blue.
  std::array<TOctreeNode*, 8> Child{};
  // 64-bit sums: one leaf may hold every pixel of a picture far beyond 16 megapixels.
  uint64_t RedSum = 0, GreenSum = 0, BlueSum = 0, PixelCount = 0;
  int32_t PaletteIndex = 0;
  uint32_t Color = 0xFF000000u;  // the sums' average with alpha 255 (black for no pixels)
  int32_t Level = 0;
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

  // Room for `pixels` more pixels, so that collecting a picture of known size takes
  // exactly what it needs. Raises std::bad_alloc when the memory is not there.
  void Reserve(size_t pixels);
  // InsertColor for count pixels of a row of 32-bit pixels, in one loop.
  void InsertPixels(const uint8_t* row, int32_t count);
  // Adds one pixel; its alpha is ignored. A run of one colour costs one count. Colours
  // belong before MakePalette: merging is worked out from every colour seen by then.
  void InsertColor(uint32_t argb) {
    const uint32_t rgb = argb & 0x00FFFFFFu;
    SumColor(rgb);
    if (rgb == FRunColor && FRunLength - 1 < kMaxRun) {
      ++FRunLength;
      return;
    }
    StartRun(rgb);
  }
  // The palette index and colour (alpha 255) of the leaf that stands for argb. A colour
  // whose branch reaches a leaf gets that leaf; any other colour (dithering makes many)
  // gets the leaf whose colour is nearest to it, the lowest index among equally near
  // ones. Indices are 0 until MakePalette numbers them.
  int32_t FindIndex(uint32_t argb, uint32_t& color) {
    if (FRoot != nullptr) {
      const TShortcut shortcut = FShortcuts[ShortcutCell(argb)];
      if (shortcut.Index >= 0) {
        color = shortcut.Color;
        return shortcut.Index;
      }
    }
    return FindIndexOffShortcut(argb, color);
  }
  // FindIndex's answer for every path through the first kShortcutLevels levels, by the
  // top four bits of each channel (ShortcutCell): a palette tree rarely goes deeper, so
  // most lookups end with one read of this table. An entry with a negative Index needs
  // FindIndex. Shortcuts builds the table when it is missing; it stays valid until
  // colours arrive or MakePalette changes the tree.
  struct TShortcut {
    uint32_t Color;
    int32_t Index;
  };
  static size_t ShortcutCell(uint32_t rgb) { return (rgb >> 12 & 0xF00) | (rgb >> 8 & 0xF0) | (rgb >> 4 & 0xF); }
  const TShortcut* Shortcuts();
  // FindIndex as one value, out of line: for loops that handle the shortcut themselves.
  TShortcut Lookup(uint32_t argb);
  // Merges until at most colorLimit leaves remain (or nothing is left to merge), then
  // numbers the leaves depth-first and answers their average colours in index order.
  // Merges are never undone: a later, larger limit keeps the tree as it is.
  std::vector<uint32_t> MakePalette(int32_t colorLimit);

  // Leaves of the tree: distinct colours at the tree's depth, less what merging removed.
  int32_t LeafCount();
  int32_t MaxColorBits() const { return FMaxColorBits; }

 private:
  static constexpr uint32_t kMaxRun = 0xFFFFFFFEu;
  int32_t FindIndexOffShortcut(uint32_t argb, uint32_t& color);
  void SumColor(uint32_t rgb) {
    TCellSums& sums = FCellSums[ShortcutCell(rgb)];
    sums.Red += rgb >> 16, sums.Green += rgb >> 8 & 0xFF, sums.Blue += rgb & 0xFF, ++sums.Count;
  }
  void StartRun(uint32_t rgb);
  void NoteBranches(uint32_t code);
  void FlushRun();
  template <typename F>
  void ForEachRun(F&& visit) const;
  bool HasBranch(int32_t level, uint32_t branch) const;
  int32_t ChildrenOf(int32_t level, uint32_t branch);
  std::vector<uint32_t> CreatedBranches(int32_t level) const;
  void CountColorsUnderLevel7();
  int64_t CountLeaves();
  bool IsLeaf(int32_t level, uint32_t branch) const;
  void BuildNodes();
  void BuildShortcuts();
  void DropNodes();
  TOctreeNode* NewNode();
  void NumberLeaves(TOctreeNode* node);
  int32_t Nearest(uint32_t rgb, uint32_t& color);
  int32_t NearestLeaf(uint32_t rgb, uint32_t& color);

  int32_t FMaxColorBits;
  int32_t FTrackedLevel;  // the deepest level with a branch bitset: min(FMaxColorBits, 7)

  // What collecting keeps. The colours in arrival order, one 32-bit word per run: the
  // colour (RGB), with the top bit set when the next word holds the run's length
  // (2 or more); so never more words than pixels.
  std::vector<uint32_t, TUninitialized<uint32_t>> FRuns;
  uint32_t FRunColor = 0xFFFFFFFFu;  // the open run, not yet in FRuns (no colour has this value)
  uint32_t FRunLength = 0;
  // Branches at levels 1..FTrackedLevel: one bit each, 8^L bits for level L; the 8
  // children of branch b at level L are the byte b of level L + 1.
  std::array<std::vector<uint64_t>, 8> FPresent;
  std::array<int64_t, 9> FBranchCount{};  // branches per level (level 0: the root)
  // The colours summed per shortcut cell as they arrive: a leaf that holds whole cells
  // takes its sums from here, without a walk over every colour.
  struct TCellSums {
    uint64_t Red, Green, Blue, Count;
  };
  std::vector<TCellSums> FCellSums;
  // The first kListed inner branches of each level in order of creation; a level with
  // more is listed again from FRuns when it needs to be (only unusual limits need that).
  static constexpr size_t kListed = 256;
  std::array<std::vector<uint32_t>, 8> FFirstCreated;
  // Distinct colours under each level-7 branch (eight bits each): level-7 branches in
  // ascending order and their children; counted on demand with 8 colour bits.
  std::vector<uint32_t> FLevel7Branches;
  std::vector<uint8_t> FLevel7Children;
  int64_t FLeafCount = -1;  // -1: not counted since the last new colour, before any merge

  // How far merging has gone: every inner branch below FMergeLevel is merged, and the
  // FMergedAtLevel newest of FMergeLevel (FMerged, ascending).
  int32_t FMergeLevel;
  int64_t FMergedAtLevel = 0;
  std::vector<uint32_t> FMerged;
  std::vector<uint32_t> FMergeOrder;  // FMergeLevel's inner branches, oldest first
  bool FNumbered = false;

  // The tree itself, built from the above on demand and dropped when colours arrive.
  std::vector<std::unique_ptr<TOctreeNode[]>> FChunks;
  size_t FChunkUsed = 0;
  TOctreeNode* FRoot = nullptr;
  std::vector<const TOctreeNode*> FLeaves;  // depth-first, so in palette order once numbered
  // Paths of the shortcut table that go on deeper point into FDeepShortcuts (Index = -1 -
  // position); paths that leave the tree answer the nearest leaf (Index = kOutside).
  static constexpr int32_t kShortcutLevels = 4;
  static constexpr int32_t kOutside = INT32_MIN;
  struct TDeepShortcut {
    const TOctreeNode* Node;
    int32_t Level;
  };
  std::vector<TShortcut> FShortcuts;
  std::vector<TDeepShortcut> FDeepShortcuts;
  // The nearest-leaf search: the colour cube in 16 x 16 x 16 cells; each cell lists,
  // once asked, the leaves that can be nearest to some colour of the cell.
  std::vector<int32_t> FCellStart;  // per cell: position in FCellLeaves, -1 not listed yet
  struct TCandidate {
    int32_t Lower;  // the leaf's squared distance from the cell: no colour of it is nearer
    uint32_t Leaf;  // position in FLeaves
  };
  std::vector<TCandidate> FCellLeaves;  // per listed cell: {0, count}, then its candidates by Lower
  static constexpr int32_t kNearestKnownBits = 14;
  struct TKnownNearest {
    uint32_t Key;
    uint32_t Color;
  };
  std::vector<TKnownNearest> FNearestKnown;  // Nearest's recent answers
};

}  // namespace quantize
