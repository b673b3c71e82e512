// The colour octree: collects the colours of a picture, merges its deepest branches
// until a colour limit is met, and numbers the remaining leaves as a palette.
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
  TOctreeNode* NextReducible = nullptr;  // next inner node of the same level, newest first
  uint32_t PixelCount = 0;
  int32_t PaletteIndex = 0;
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

  // Adds one pixel; its alpha is ignored. A run of one colour skips the tree walk.
  void InsertColor(uint32_t argb);
  // The palette index and colour (alpha 255) of the leaf that stands for argb. A colour
  // that was never added follows, at each level where its own child is missing, the
  // existing child with the highest index.
  int32_t FindIndex(uint32_t argb, uint32_t& color) const;
  // Merges until at most colorLimit leaves remain (or nothing is left to merge), then
  // numbers the leaves depth-first and answers their average colours in index order.
  std::vector<uint32_t> MakePalette(int32_t colorLimit);

  int32_t LeafCount() const { return FLeafCount; }
  int32_t MaxColorBits() const { return FMaxColorBits; }

 private:
  TOctreeNode* NewNode(int32_t level);
  void FreeNode(TOctreeNode* node);
  bool MergeDeepest();
  void NumberLeaves(TOctreeNode* node, std::vector<uint32_t>& palette);

  int32_t FMaxColorBits;
  int32_t FLeafCount = 0;
  uint32_t FLastColor = 0;
  TOctreeNode* FPreviousNode = nullptr;
  TOctreeNode* FRoot = nullptr;
  std::array<TOctreeNode*, 8> FReducibleNodes{};  // one list per level

  // Nodes come from chunks owned here and return to a free list when merged away, so a
  // picture of millions of colours costs no allocation per node.
  std::vector<std::unique_ptr<TOctreeNode[]>> FChunks;
  int32_t FChunkUsed = 0;
  TOctreeNode* FFreeNodes = nullptr;  // linked through NextReducible
};

}  // namespace quantize
