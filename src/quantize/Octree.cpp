#include "quantize/Octree.h"

#include "base/Exceptions.h"
#include "quantize/PixelRows.h"

namespace quantize {

namespace {

constexpr int32_t kChunkNodes = 4096;

inline int ChildIndex(uint32_t argb, int32_t level) {
  const int shift = 7 - level;
  return static_cast<int>(((argb >> (16 + shift)) & 1) << 2 | ((argb >> (8 + shift)) & 1) << 1 | ((argb >> shift) & 1));
}

inline uint32_t AverageColor(const TOctreeNode& node) {
  if (node.PixelCount == 0) return 0xFF000000u;
  return MakeArgb(255, static_cast<uint8_t>(node.RedSum / node.PixelCount),
                  static_cast<uint8_t>(node.GreenSum / node.PixelCount),
                  static_cast<uint8_t>(node.BlueSum / node.PixelCount));
}

}  // namespace

TOctree::TOctree(int32_t maxColorBits) : FMaxColorBits(maxColorBits) {
  if (maxColorBits < 1 || maxColorBits > 8) throw base::Exception("This should be between 1 and 8");
  FRoot = NewNode(0);
}

TOctree::~TOctree() = default;

TOctreeNode* TOctree::NewNode(int32_t level) {
  TOctreeNode* node;
  if (FFreeNodes != nullptr) {
    node = FFreeNodes;
    FFreeNodes = node->NextReducible;
    *node = TOctreeNode{};
  } else {
    if (FChunks.empty() || FChunkUsed == kChunkNodes) {
      FChunks.push_back(std::make_unique<TOctreeNode[]>(kChunkNodes));
      FChunkUsed = 0;
    }
    node = &FChunks.back()[FChunkUsed++];
  }
  if (level == FMaxColorBits) {
    node->Leaf = true;
    ++FLeafCount;
  } else {
    node->NextReducible = FReducibleNodes[level];
    FReducibleNodes[level] = node;
  }
  return node;
}

void TOctree::FreeNode(TOctreeNode* node) {
  node->NextReducible = FFreeNodes;
  FFreeNodes = node;
}

void TOctree::InsertColor(uint32_t argb) {
  TOctreeNode* node = FPreviousNode;
  if (node == nullptr || argb != FLastColor) {
    FLastColor = argb;
    node = FRoot;
    for (int32_t level = 0; !node->Leaf; ++level) {
      TOctreeNode*& child = node->Child[ChildIndex(argb, level)];
      if (child == nullptr) child = NewNode(level + 1);
      node = child;
    }
    FPreviousNode = node;
  }
  ++node->PixelCount;
  node->RedSum += RedOf(argb);
  node->GreenSum += GreenOf(argb);
  node->BlueSum += BlueOf(argb);
}

int32_t TOctree::FindIndex(uint32_t argb, uint32_t& color) const {
  const TOctreeNode* node = FRoot;
  for (int32_t level = 0; !node->Leaf; ++level) {
    const TOctreeNode* child = node->Child[ChildIndex(argb, level)];
    for (int i = 7; child == nullptr && i >= 0; --i) child = node->Child[i];
    if (child == nullptr) break;  // an inner node without children: only an empty tree's root
    node = child;
  }
  color = AverageColor(*node);
  return node->PaletteIndex;
}

bool TOctree::MergeDeepest() {
  int32_t level = FMaxColorBits - 1;
  while (level >= 0 && FReducibleNodes[level] == nullptr) --level;
  if (level < 0) return false;
  TOctreeNode* node = FReducibleNodes[level];
  FReducibleNodes[level] = node->NextReducible;
  node->NextReducible = nullptr;
  int32_t children = 0;
  for (TOctreeNode*& child : node->Child) {
    if (child == nullptr) continue;
    node->RedSum += child->RedSum;
    node->GreenSum += child->GreenSum;
    node->BlueSum += child->BlueSum;
    node->PixelCount += child->PixelCount;
    FreeNode(child);
    child = nullptr;
    ++children;
  }
  node->Leaf = true;
  FLeafCount -= children - 1;
  FPreviousNode = nullptr;
  return true;
}

void TOctree::NumberLeaves(TOctreeNode* node, std::vector<uint32_t>& palette) {
  if (node->Leaf) {
    node->PaletteIndex = static_cast<int32_t>(palette.size());
    palette.push_back(AverageColor(*node));
    return;
  }
  for (TOctreeNode* child : node->Child)
    if (child != nullptr) NumberLeaves(child, palette);
}

std::vector<uint32_t> TOctree::MakePalette(int32_t colorLimit) {
  // Stops when nothing is left to merge, so a limit below 1 cannot loop for ever.
  while (FLeafCount > colorLimit && MergeDeepest()) {
  }
  std::vector<uint32_t> palette;
  NumberLeaves(FRoot, palette);
  return palette;
}

}  // namespace quantize
