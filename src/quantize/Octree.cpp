#include "quantize/Octree.h"

#include <algorithm>
#include <bit>

#include "base/Exceptions.h"
#include "quantize/PixelRows.h"

namespace quantize {

namespace {

constexpr size_t kChunkNodes = 256;
constexpr uint32_t kRunFollows = 0x80000000u;

inline uint32_t BranchOf(uint32_t code, int32_t level) { return code >> (3 * (8 - level)); }

inline int ChildIndex(uint32_t code, int32_t level) { return static_cast<int>((code >> (3 * (7 - level))) & 7); }

inline size_t LevelBits(int32_t level) { return size_t{1} << (3 * level); }

inline bool TestBit(const std::vector<uint64_t>& bits, uint32_t i) { return (bits[i >> 6] >> (i & 63)) & 1; }

inline void SetBit(std::vector<uint64_t>& bits, uint32_t i) { bits[i >> 6] |= uint64_t{1} << (i & 63); }

inline uint32_t AverageColor(const TOctreeNode& node) {
  if (node.PixelCount == 0) return 0xFF000000u;
  return MakeArgb(255, static_cast<uint8_t>(node.RedSum / node.PixelCount),
                  static_cast<uint8_t>(node.GreenSum / node.PixelCount),
                  static_cast<uint8_t>(node.BlueSum / node.PixelCount));
}

}  // namespace

TOctree::TOctree(int32_t maxColorBits)
    : FMaxColorBits(maxColorBits), FTrackedLevel(std::min(maxColorBits, 7)), FMergeLevel(maxColorBits - 1) {
  if (maxColorBits < 1 || maxColorBits > 8) throw base::Exception("This should be between 1 and 8");
  for (int32_t level = 1; level <= FTrackedLevel; ++level) FPresent[level].assign((LevelBits(level) + 63) / 64, 0);
  FBranchCount[0] = 1;  // the root, created with the tree
  FCellSums.assign(size_t{1} << (3 * kShortcutLevels), TCellSums{0, 0, 0, 0});
}

TOctree::~TOctree() = default;

void TOctree::Reserve(size_t pixels) { FRuns.reserve(FRuns.size() + pixels + 2); }

void TOctree::InsertPixels(const uint8_t* row, int32_t count) {
  if (count <= 0) return;
  if (FRoot != nullptr) DropNodes();
  if (FMergeLevel == FMaxColorBits - 1 && FMergedAtLevel == 0) {
    FLeafCount = -1;
    FLevel7Branches.clear();
  }
  // A run takes at most as many words as pixels, and the run still open from before at
  // most two: room for count + 2 words is enough.
  const size_t used = FRuns.size(), need = used + static_cast<size_t>(count) + 2;
  if (need > FRuns.capacity()) FRuns.reserve(std::max(need, 2 * FRuns.capacity()));
  FRuns.resize(need);
  uint32_t* out = FRuns.data() + used;
  uint32_t color = FRunColor, length = FRunLength;
  const int32_t shift = 3 * (8 - FTrackedLevel);
  const uint64_t* present = FPresent[FTrackedLevel].data();
  TCellSums* cellSums = FCellSums.data();
  for (int32_t i = 0; i < count; ++i) {
    const uint32_t rgb = LoadPixel(row, i) & 0x00FFFFFFu;
    TCellSums& sums = cellSums[ShortcutCell(rgb)];
    sums.Red += rgb >> 16, sums.Green += rgb >> 8 & 0xFF, sums.Blue += rgb & 0xFF, ++sums.Count;
    if (rgb == color && length - 1 < kMaxRun) {
      ++length;
      continue;
    }
    if (length == 1) {
      *out++ = color;
    } else if (length > 1) {
      *out++ = color | kRunFollows;
      *out++ = length;
    }
    color = rgb;
    length = 1;
    const uint32_t code = ColorCode(rgb);
    const uint32_t branch = code >> shift;
    if (((present[branch >> 6] >> (branch & 63)) & 1) == 0) NoteBranches(code);
  }
  FRuns.resize(static_cast<size_t>(out - FRuns.data()));
  FRunColor = color;
  FRunLength = length;
}

void TOctree::FlushRun() {
  if (FRunLength == 0) return;
  if (FRunLength == 1) {
    FRuns.push_back(FRunColor);
  } else {
    FRuns.push_back(FRunColor | kRunFollows);
    FRuns.push_back(FRunLength);
  }
  FRunLength = 0;
}

void TOctree::StartRun(uint32_t rgb) {
  FlushRun();
  const uint32_t code = ColorCode(rgb);
  FRunColor = rgb;
  FRunLength = 1;
  if (FRoot != nullptr) DropNodes();
  if (FMergeLevel == FMaxColorBits - 1 && FMergedAtLevel == 0) {
    FLeafCount = -1;
    FLevel7Branches.clear();
  }
  NoteBranches(code);
}

void TOctree::NoteBranches(uint32_t code) {
  // A colour's branches may be new. A branch that exists has all its ancestors, so the
  // walk up stops at the first one found.
  for (int32_t level = FTrackedLevel; level >= 1; --level) {
    const uint32_t branch = BranchOf(code, level);
    if (TestBit(FPresent[level], branch)) break;
    SetBit(FPresent[level], branch);
    ++FBranchCount[level];
    if (level < FMaxColorBits && FFirstCreated[level].size() < kListed) FFirstCreated[level].push_back(branch);
  }
}

template <typename F>
void TOctree::ForEachRun(F&& visit) const {
  for (size_t i = 0; i < FRuns.size(); ++i) {
    const uint32_t word = FRuns[i];
    if (word & kRunFollows)
      visit(word & 0x00FFFFFFu, FRuns[++i]);
    else
      visit(word, 1u);
  }
  if (FRunLength != 0) visit(FRunColor, FRunLength);
}

std::vector<uint32_t> TOctree::CreatedBranches(int32_t level) const {
  if (level == 0) return {0};
  if (FBranchCount[level] <= static_cast<int64_t>(kListed)) return FFirstCreated[level];
  // Listed again in order of first appearance, which is the order of creation.
  std::vector<uint32_t> created;
  created.reserve(static_cast<size_t>(FBranchCount[level]));
  std::vector<uint64_t> seen((LevelBits(level) + 63) / 64, 0);
  ForEachRun([&](uint32_t rgb, uint32_t) {
    const uint32_t branch = BranchOf(ColorCode(rgb), level);
    if (TestBit(seen, branch)) return;
    SetBit(seen, branch);
    created.push_back(branch);
  });
  return created;
}

void TOctree::CountColorsUnderLevel7() {
  if (!FLevel7Branches.empty() || FBranchCount[7] == 0) return;
  FLevel7Branches = CreatedBranches(7);
  std::sort(FLevel7Branches.begin(), FLevel7Branches.end());
  FLevel7Children.assign(FLevel7Branches.size(), 0);
  uint32_t lastBranch = 0xFFFFFFFFu;
  size_t position = 0;
  ForEachRun([&](uint32_t rgb, uint32_t) {
    const uint32_t code = ColorCode(rgb);
    if (code >> 3 != lastBranch) {
      lastBranch = code >> 3;
      position = static_cast<size_t>(std::lower_bound(FLevel7Branches.begin(), FLevel7Branches.end(), lastBranch) -
                                     FLevel7Branches.begin());
    }
    FLevel7Children[position] |= static_cast<uint8_t>(1u << (code & 7));
  });
}

int64_t TOctree::CountLeaves() {
  if (FMaxColorBits < 8) return FBranchCount[FMaxColorBits];
  CountColorsUnderLevel7();
  int64_t colors = 0;
  for (const uint8_t children : FLevel7Children) colors += std::popcount(children);
  return colors;
}

int32_t TOctree::ChildrenOf(int32_t level, uint32_t branch) {
  if (level + 1 <= FTrackedLevel) {
    const uint32_t first = branch << 3;  // byte aligned: the eight children share one byte
    return std::popcount(static_cast<uint8_t>(FPresent[level + 1][first >> 6] >> (first & 63)));
  }
  CountColorsUnderLevel7();
  const auto found = std::lower_bound(FLevel7Branches.begin(), FLevel7Branches.end(), branch);
  if (found == FLevel7Branches.end() || *found != branch) return 0;
  return std::popcount(FLevel7Children[static_cast<size_t>(found - FLevel7Branches.begin())]);
}

int32_t TOctree::LeafCount() {
  if (FLeafCount < 0) FLeafCount = CountLeaves();
  return static_cast<int32_t>(FLeafCount);
}

bool TOctree::IsLeaf(int32_t level, uint32_t branch) const {
  if (level == FMaxColorBits || level > FMergeLevel) return true;
  if (level < FMergeLevel) return false;
  if (FMergedAtLevel == FBranchCount[level]) return true;
  return std::binary_search(FMerged.begin(), FMerged.end(), branch);
}

std::vector<uint32_t> TOctree::MakePalette(int32_t colorLimit) {
  // The merges the tree would make one by one: the deepest level first, its newest inner
  // node first; each turns a node into a leaf holding its children. A level whose nodes
  // outnumber the limit is merged whole, since the count of leaves cannot reach the limit
  // before it is done; only the level where merging stops is walked node by node. It
  // stops when nothing is left to merge, so a limit below 1 cannot loop for ever.
  const bool empty = FRuns.empty() && FRunLength == 0;
  bool changed = false;
  while (FMergeLevel >= 0 && !empty) {
    const int32_t level = FMergeLevel;
    const int64_t branches = FBranchCount[level];
    if (FMergedAtLevel == branches) {
      --FMergeLevel;
      FMergedAtLevel = 0;
      FMerged.clear();
      FMergeOrder.clear();
      continue;
    }
    if (FMergedAtLevel == 0 && branches > colorLimit) {
      // Every branch has a child, so there are at least as many leaves as branches here.
      FMergedAtLevel = branches;
      FLeafCount = branches;
      changed = true;
      continue;
    }
    if (FLeafCount < 0) FLeafCount = CountLeaves();
    if (FLeafCount <= colorLimit) break;
    if (FMergedAtLevel == 0) FMergeOrder = CreatedBranches(level);
    const uint32_t branch = FMergeOrder[static_cast<size_t>(branches - 1 - FMergedAtLevel)];
    FLeafCount -= ChildrenOf(level, branch) - 1;
    FMerged.insert(std::lower_bound(FMerged.begin(), FMerged.end(), branch), branch);
    ++FMergedAtLevel;
    changed = true;
  }
  if (!FNumbered || changed) {
    FNumbered = true;
    DropNodes();
  }
  if (FRoot == nullptr) BuildNodes();
  std::vector<uint32_t> palette;
  palette.reserve(FLeaves.size());
  for (const TOctreeNode* leaf : FLeaves) palette.push_back(leaf->Color);
  return palette;
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
  FCellStart.clear();
  FCellLeaves.clear();
  FNearestKnown.clear();
  FLeaves.clear();
  FChunks.clear();
  FChunkUsed = 0;
  FRoot = nullptr;
}

void TOctree::BuildNodes() {
  FRoot = NewNode();
  FRoot->Leaf = IsLeaf(0, 0) && !(FRuns.empty() && FRunLength == 0);
  auto leafOf = [&](TOctreeNode* node, uint32_t code, TOctreeNode** shallowest) {
    while (!node->Leaf) {
      const int32_t level = node->Level;
      TOctreeNode*& child = node->Child[ChildIndex(code, level)];
      if (child == nullptr) {
        child = NewNode();
        child->Level = level + 1;
        child->Leaf = IsLeaf(level + 1, BranchOf(code, level + 1));
      }
      node = child;
      if (shallowest != nullptr && node->Level <= kShortcutLevels) *shallowest = node;
    }
    return node;
  };
  // Most colours end in a leaf within the first kShortcutLevels levels, which their
  // shortcut cell (the top bits of each channel) decides alone: such a cell's sums, kept
  // as the colours arrived, go to its leaf whole. The other colours find their leaf from
  // the node their first levels lead to.
  const size_t cells = size_t{1} << (3 * kShortcutLevels);
  std::vector<uint8_t> shallow(cells, 0);
  std::vector<uint32_t> cellCode(cells);
  for (uint32_t cell = 0; cell < cells; ++cell) {
    const uint32_t code = ColorCode((cell & 0xF00) << 12 | (cell & 0xF0) << 8 | (cell & 0xF) << 4);
    cellCode[cell] = code;
    for (int32_t level = 0; level <= std::min(kShortcutLevels, FMaxColorBits) && !shallow[cell]; ++level)
      shallow[cell] = IsLeaf(level, BranchOf(code, level));
  }
  bool deepColors = false;
  for (size_t cell = 0; cell < cells; ++cell) deepColors |= !shallow[cell] && FCellSums[cell].Count != 0;
  std::vector<TOctreeNode*> top(cells, nullptr);
  // ForEachRun written out, the open run last: for a noisy picture this loop runs once
  // per pixel, so it only runs when some colour needs it.
  const uint32_t* runs = FRuns.data();
  for (size_t i = 0, n = deepColors ? FRuns.size() : 0; deepColors && i <= n; ++i) {
    uint32_t rgb, count = 1;
    if (i < n) {
      rgb = runs[i];
      if (rgb & kRunFollows) rgb &= 0x00FFFFFFu, count = runs[++i];
    } else {
      if (FRunLength == 0) break;
      rgb = FRunColor, count = FRunLength;
    }
    const size_t cell = ShortcutCell(rgb);
    if (shallow[cell]) continue;
    TOctreeNode*& start = top[cell];
    if (start == nullptr) start = FRoot;
    TOctreeNode* node = leafOf(start, ColorCode(rgb), &start);
    node->PixelCount += count;
    node->RedSum += uint64_t{count} * RedOf(rgb);
    node->GreenSum += uint64_t{count} * GreenOf(rgb);
    node->BlueSum += uint64_t{count} * BlueOf(rgb);
  }
  for (size_t cell = 0; cell < cells; ++cell) {
    const TCellSums& sums = FCellSums[cell];
    if (sums.Count == 0 || !shallow[cell]) continue;
    TOctreeNode* node = leafOf(FRoot, cellCode[cell], nullptr);
    node->PixelCount += sums.Count;
    node->RedSum += sums.Red;
    node->GreenSum += sums.Green;
    node->BlueSum += sums.Blue;
  }
  for (const auto& chunk : FChunks)
    for (size_t i = 0; i < kChunkNodes; ++i) chunk[i].Color = AverageColor(chunk[i]);
  NumberLeaves(FRoot);  // unnumbered leaves answer index 0
  BuildShortcuts();
}

void TOctree::NumberLeaves(TOctreeNode* node) {
  if (node->Leaf) {
    node->PaletteIndex = FNumbered ? static_cast<int32_t>(FLeaves.size()) : 0;
    FLeaves.push_back(node);
    return;
  }
  for (TOctreeNode* child : node->Child)
    if (child != nullptr) NumberLeaves(child);
}

void TOctree::BuildShortcuts() {
  FShortcuts.resize(size_t{1} << (3 * kShortcutLevels));
  FDeepShortcuts.clear();
  for (uint32_t cell = 0; cell < FShortcuts.size(); ++cell) {
    // The cell holds the top four bits of red, green and blue; at level L the child is
    // bit 3 - L of each.
    const TOctreeNode* node = FRoot;
    int32_t level = 0;
    for (; level < kShortcutLevels && node != nullptr && !node->Leaf; ++level) {
      const uint32_t bit = 3 - level;
      node = node->Child[(cell >> (8 + bit) & 1) << 2 | (cell >> (4 + bit) & 1) << 1 | (cell >> bit & 1)];
    }
    if (FLeaves.empty())  // a root without children answers for itself
      FShortcuts[cell] = {FRoot->Color, FRoot->PaletteIndex};
    else if (node == nullptr)
      FShortcuts[cell] = {0, kOutside};
    else if (node->Leaf)
      FShortcuts[cell] = {node->Color, node->PaletteIndex};
    else {
      FShortcuts[cell] = {0, -1 - static_cast<int32_t>(FDeepShortcuts.size())};
      FDeepShortcuts.push_back({node, level});
    }
  }
}

const TOctree::TShortcut* TOctree::Shortcuts() {
  if (FRoot == nullptr) BuildNodes();
  return FShortcuts.data();
}

TOctree::TShortcut TOctree::Lookup(uint32_t argb) {
  TShortcut found{0, 0};
  found.Index = FindIndex(argb, found.Color);
  return found;
}

int32_t TOctree::FindIndexOffShortcut(uint32_t argb, uint32_t& color) {
  if (FRoot == nullptr) BuildNodes();
  const uint32_t rgb = argb & 0x00FFFFFFu;
  const TShortcut shortcut = FShortcuts[ShortcutCell(rgb)];
  if (shortcut.Index >= 0) {
    color = shortcut.Color;
    return shortcut.Index;
  }
  if (shortcut.Index == kOutside) return Nearest(rgb, color);
  const uint32_t code = ColorCode(rgb);
  const TDeepShortcut& deep = FDeepShortcuts[static_cast<size_t>(-1 - shortcut.Index)];
  const TOctreeNode* node = deep.Node;
  for (int32_t level = deep.Level; !node->Leaf; ++level) {
    node = node->Child[ChildIndex(code, level)];
    if (node == nullptr) return Nearest(rgb, color);
  }
  color = node->Color;
  return node->PaletteIndex;
}

int32_t TOctree::Nearest(uint32_t rgb, uint32_t& color) {
  // Dithering asks for the same colours again and again: the answers are kept in a table
  // with one place per colour hash, the colour in the low 24 bits of the key and the
  // index in the top 8 (all ones: the place is free; indices end at 254).
  if (FNearestKnown.empty()) FNearestKnown.assign(size_t{1} << kNearestKnownBits, {0xFFFFFFFFu, 0});
  TKnownNearest& known = FNearestKnown[(rgb * 0x9E3779B1u) >> (32 - kNearestKnownBits)];
  if ((known.Key & 0x00FFFFFFu) == rgb && known.Key >> 24 != 0xFF) {
    color = known.Color;
    return static_cast<int32_t>(known.Key >> 24);
  }
  const int32_t index = NearestLeaf(rgb, color);
  known = {rgb | static_cast<uint32_t>(index) << 24, color};
  return index;
}

int32_t TOctree::NearestLeaf(uint32_t rgb, uint32_t& color) {
  const int32_t channels[3] = {RedOf(rgb), GreenOf(rgb), BlueOf(rgb)};
  const size_t cell = size_t(channels[0] >> 4) << 8 | size_t(channels[1] >> 4) << 4 | size_t(channels[2] >> 4);
  if (FCellStart.empty()) FCellStart.assign(4096, -1);
  if (FCellStart[cell] < 0) {
    // The leaves that can be nearest to some colour of the cell: those no farther from
    // the cell than the farthest point of the cell is from the leaf closest to that.
    int32_t low[3], high[3];
    for (int c = 0; c < 3; ++c) low[c] = channels[c] & 0xF0, high[c] = low[c] + 15;
    auto distances = [&](uint32_t leaf, int32_t& nearest, int32_t& farthest) {
      const int32_t v[3] = {RedOf(leaf), GreenOf(leaf), BlueOf(leaf)};
      nearest = farthest = 0;
      for (int c = 0; c < 3; ++c) {
        const int32_t outside = v[c] < low[c] ? low[c] - v[c] : v[c] > high[c] ? v[c] - high[c] : 0;
        const int32_t far = std::max(v[c] - low[c], high[c] - v[c]);
        nearest += outside * outside;
        farthest += far * far;
      }
    };
    int32_t bound = INT32_MAX, nearest = 0, farthest = 0;
    for (const TOctreeNode* leaf : FLeaves) {
      distances(leaf->Color, nearest, farthest);
      bound = std::min(bound, farthest);
    }
    // The candidates nearest to the cell first, so that the search below can stop at
    // the first one that cannot come as near as the best so far.
    const size_t first = FCellLeaves.size();
    FCellStart[cell] = static_cast<int32_t>(first);
    FCellLeaves.push_back({0, 0});
    for (uint32_t i = 0; i < FLeaves.size(); ++i) {
      distances(FLeaves[i]->Color, nearest, farthest);
      if (nearest <= bound) FCellLeaves.push_back({nearest, i});
    }
    std::sort(FCellLeaves.begin() + static_cast<ptrdiff_t>(first) + 1, FCellLeaves.end(),
              [](const TCandidate& a, const TCandidate& b) {
                return a.Lower < b.Lower || (a.Lower == b.Lower && a.Leaf < b.Leaf);
              });
    FCellLeaves[first].Leaf = static_cast<uint32_t>(FCellLeaves.size() - first - 1);
  }
  const TCandidate* list = FCellLeaves.data() + FCellStart[cell];
  const TCandidate* const end = list + 1 + list[0].Leaf;
  uint32_t best = 0;
  int32_t bestDistance = INT32_MAX;
  // Equally near leaves: the lowest position (the lowest index) wins, as in palette order.
  for (const TCandidate* candidate = list + 1; candidate != end && candidate->Lower <= bestDistance; ++candidate) {
    const uint32_t leafColor = FLeaves[candidate->Leaf]->Color;
    const int32_t dr = RedOf(leafColor) - channels[0], dg = GreenOf(leafColor) - channels[1],
                  db = BlueOf(leafColor) - channels[2];
    const int32_t distance = dr * dr + dg * dg + db * db;
    if (distance < bestDistance || (distance == bestDistance && candidate->Leaf < best))
      bestDistance = distance, best = candidate->Leaf;
  }
  const TOctreeNode* leaf = FLeaves[best];
  color = leaf->Color;
  return leaf->PaletteIndex;
}

}  // namespace quantize
