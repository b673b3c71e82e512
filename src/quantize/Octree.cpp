#include "quantize/Octree.h"

#include <algorithm>
#include <cstdlib>
#include <new>

#include "base/Exceptions.h"
#include "quantize/PixelRows.h"

namespace quantize {

namespace {

constexpr size_t kChunkNodes = 256;

// A colour's code interleaves its bits from the top: red, green, blue of bit 7, then of
// bit 6, and so on. Each 3-bit group is the child index at one level, so the top 3 * L
// bits name the colour's branch at level L, and the colours of a branch are contiguous.
constexpr std::array<uint32_t, 256> MakeSpread() {
  std::array<uint32_t, 256> spread{};
  for (uint32_t v = 0; v < 256; ++v)
    for (int bit = 0; bit < 8; ++bit) spread[v] |= ((v >> bit) & 1) << (3 * bit);
  return spread;
}
constexpr std::array<uint32_t, 256> kSpread = MakeSpread();

inline uint32_t ColorCode(uint32_t rgb) {
  return kSpread[(rgb >> 16) & 0xFF] << 2 | kSpread[(rgb >> 8) & 0xFF] << 1 | kSpread[rgb & 0xFF];
}

inline uint32_t BranchOf(uint32_t code, int32_t level) { return code >> (3 * (8 - level)); }

inline int ChildIndex(uint32_t code, int32_t level) { return static_cast<int>((code >> (3 * (7 - level))) & 7); }

void* ZeroedBlock(size_t bytes) {
  void* block = std::calloc(bytes, 1);  // large blocks come as untouched zero pages
  if (block == nullptr) throw std::bad_alloc();
  return block;
}

inline uint32_t AverageColor(const TOctreeNode& node) {
  if (node.PixelCount == 0) return 0xFF000000u;
  return MakeArgb(255, static_cast<uint8_t>(node.RedSum / node.PixelCount),
                  static_cast<uint8_t>(node.GreenSum / node.PixelCount),
                  static_cast<uint8_t>(node.BlueSum / node.PixelCount));
}

}  // namespace

void TOctree::TFree::operator()(void* block) const { std::free(block); }

TOctree::TOctree(int32_t maxColorBits) : FMaxColorBits(maxColorBits), FMergeLevel(maxColorBits - 1) {
  if (maxColorBits < 1 || maxColorBits > 8) throw base::Exception("This should be between 1 and 8");
  FCounts.reset(static_cast<uint32_t*>(ZeroedBlock(sizeof(uint32_t) << 24)));
  for (int32_t level = 1; level <= std::min(maxColorBits, 7); ++level)
    FBranches[level].reset(static_cast<uint8_t*>(ZeroedBlock(size_t{1} << (3 * level))));
  FCreated[0].push_back(0);  // the root, created with the tree
}

TOctree::~TOctree() = default;

void TOctree::InsertColor(uint32_t argb) {
  const uint32_t rgb = argb & 0x00FFFFFFu;
  if (FHaveLast && rgb == FLastColor) {
    ++FCounts[FLastCode];
    return;
  }
  const uint32_t code = ColorCode(rgb);
  FLastColor = rgb;
  FLastCode = code;
  FHaveLast = true;
  if (FCounts[code]++ != 0) return;

  // A new colour: its leaf and the inner branches above it may be new too. A branch that
  // exists has all its ancestors, so the walk up stops at the first one found.
  FColors.push_back(rgb);
  if (FRoot != nullptr) DropNodes();
  if (FMaxColorBits == 8) ++FLeafCount;
  for (int32_t level = std::min(FMaxColorBits, 7); level >= 1; --level) {
    uint8_t& branch = FBranches[level][BranchOf(code, level)];
    if (branch != 0) break;
    branch = 1;
    if (level == FMaxColorBits)
      ++FLeafCount;
    else
      FCreated[level].push_back(BranchOf(code, level));
  }
}

int32_t TOctree::ChildrenOf(int32_t level, uint32_t branch) const {
  int32_t children = 0;
  for (uint32_t i = 0; i < 8; ++i) {
    const uint32_t child = branch << 3 | i;
    children += (level + 1 == 8 ? FCounts[child] != 0 : FBranches[level + 1][child] != 0) ? 1 : 0;
  }
  return children;
}

bool TOctree::IsLeaf(int32_t level, uint32_t branch) const {
  if (level == FMaxColorBits || level > FMergeLevel) return true;
  if (level < FMergeLevel) return false;
  return level == 0 ? FMergedAtLevel > 0 : FBranches[level][branch] == 2;
}

std::vector<uint32_t> TOctree::MakePalette(int32_t colorLimit) {
  // The merges the tree would make one by one: the deepest level first, its newest inner
  // node first; each turns a node into a leaf holding its children. It stops when nothing
  // is left to merge, so a limit below 1 cannot loop for ever.
  while (FLeafCount > colorLimit && FMergeLevel >= 0) {
    const std::vector<uint32_t>& created = FCreated[FMergeLevel];
    if (FMergedAtLevel == created.size()) {
      --FMergeLevel;
      FMergedAtLevel = 0;
      continue;
    }
    const uint32_t branch = created[created.size() - 1 - FMergedAtLevel++];
    FLeafCount -= ChildrenOf(FMergeLevel, branch) - 1;
    if (FMergeLevel > 0) FBranches[FMergeLevel][branch] = 2;
    DropNodes();
  }
  if (!FNumbered) {
    FNumbered = true;
    DropNodes();
  }
  if (FRoot == nullptr) BuildNodes();
  return FPalette;
}

TOctreeNode* TOctree::NewNode() {
  if (FChunks.empty() || FChunkUsed == kChunkNodes) {
    FChunks.push_back(std::make_unique<TOctreeNode[]>(kChunkNodes));
    FChunkUsed = 0;
  }
  return &FChunks.back()[FChunkUsed++];
}

void TOctree::DropNodes() {
  FShortcuts.clear();
  FDeepShortcuts.clear();
  FPalette.clear();
  FChunks.clear();
  FChunkUsed = 0;
  FRoot = nullptr;
}

void TOctree::BuildNodes() {
  FRoot = NewNode();
  FRoot->Leaf = IsLeaf(0, 0);
  for (const uint32_t rgb : FColors) {
    const uint32_t code = ColorCode(rgb);
    TOctreeNode* node = FRoot;
    for (int32_t level = 0; !node->Leaf; ++level) {
      TOctreeNode*& child = node->Child[ChildIndex(code, level)];
      if (child == nullptr) {
        child = NewNode();
        child->Leaf = IsLeaf(level + 1, BranchOf(code, level + 1));
      }
      node = child;
    }
    const uint32_t count = FCounts[code];
    node->PixelCount += count;
    node->RedSum += uint64_t{count} * RedOf(rgb);
    node->GreenSum += uint64_t{count} * GreenOf(rgb);
    node->BlueSum += uint64_t{count} * BlueOf(rgb);
  }
  for (const auto& chunk : FChunks)
    for (size_t i = 0; i < kChunkNodes; ++i) chunk[i].Color = AverageColor(chunk[i]);
  FPalette.clear();
  if (FNumbered) NumberLeaves(FRoot, FPalette);  // unnumbered leaves answer index 0
  BuildShortcuts();
}

namespace {

// One step of the lookup walk: the child for the colour's bits at this level, or else the
// existing child with the highest index; nullptr for a node without children.
inline const TOctreeNode* NextNode(const TOctreeNode* node, int index) {
  const TOctreeNode* child = node->Child[index];
  for (int i = 7; child == nullptr && i >= 0; --i) child = node->Child[i];
  return child;
}

}  // namespace

void TOctree::BuildShortcuts() {
  FShortcuts.resize(size_t{1} << (3 * kShortcutLevels));
  FDeepShortcuts.clear();
  for (uint32_t path = 0; path < FShortcuts.size(); ++path) {
    const TOctreeNode* node = FRoot;
    int32_t level = 0;
    for (; level < kShortcutLevels && !node->Leaf; ++level) {
      const TOctreeNode* child = NextNode(node, static_cast<int>((path >> (3 * (kShortcutLevels - 1 - level))) & 7));
      if (child == nullptr) break;
      node = child;
    }
    if (node->Leaf || level < kShortcutLevels) {  // a leaf, or a root without children
      FShortcuts[path] = {node->Color, node->PaletteIndex};
    } else {
      FShortcuts[path] = {0, -1 - static_cast<int32_t>(FDeepShortcuts.size())};
      FDeepShortcuts.push_back({node, level});
    }
  }
}

int32_t TOctree::FindIndex(uint32_t argb, uint32_t& color) {
  if (FRoot == nullptr) BuildNodes();
  const uint32_t code = ColorCode(argb & 0x00FFFFFFu);
  const TShortcut shortcut = FShortcuts[code >> (3 * (8 - kShortcutLevels))];
  if (shortcut.Index >= 0) {
    color = shortcut.Color;
    return shortcut.Index;
  }
  const TDeepShortcut& deep = FDeepShortcuts[static_cast<size_t>(-1 - shortcut.Index)];
  const TOctreeNode* node = deep.Node;
  for (int32_t level = deep.Level; !node->Leaf; ++level) {
    const TOctreeNode* child = NextNode(node, ChildIndex(code, level));
    if (child == nullptr) break;  // an inner node without children: only an empty tree's root
    node = child;
  }
  color = node->Color;
  return node->PaletteIndex;
}

void TOctree::NumberLeaves(TOctreeNode* node, std::vector<uint32_t>& palette) {
  if (node->Leaf) {
    node->PaletteIndex = static_cast<int32_t>(palette.size());
    palette.push_back(node->Color);
    return;
  }
  for (TOctreeNode* child : node->Child)
    if (child != nullptr) NumberLeaves(child, palette);
}

}  // namespace quantize
