// The octree quantizer: a tree of the picture's colours, merged down to at most
// maxColors - 1 leaves; palette entry maxColors is the transparent colour's entry.
#pragma once

#include <cstdint>
#include <memory>

#include "quantize/Octree.h"
#include "quantize/Quantizer.h"

namespace quantize {

class TOctreeQuantizer : public TQuantizer {
 public:
  // maxColors: 2..255; maxColorBits: 1..8 (the depth of the tree). Raises base::Exception
  // "The number of colors should be less than 256" for 256 or more colours, "The number
  // of colors should be at least 2" for fewer than 2, then "This should be between 1 and
  // 8" for the bits.
  TOctreeQuantizer(int32_t maxColors, int32_t maxColorBits);

  void CollectPixel(uint32_t argb) override { FOctree->InsertColor(argb); }
  // CollectPixel for every pixel, without a virtual call per pixel.
  void CollectColors(const TPixelRows& argb) override;
  // A transparent pixel (alpha 0) answers maxColors; others the entry of their leaf.
  int32_t PixelIndex(uint32_t argb) override;
  int32_t PixelIndex(uint32_t argb, uint32_t& color) {
    if (argb < 0x01000000u) {
      color = 0xFF000000u;
      return FMaxColors;
    }
    return FOctree->FindIndex(argb, color);
  }
  // Entries 0..n-1 get the n leaf colours, entry maxColors gets FF000000.
  void FillPalette(std::span<uint32_t> palette) override;
  // The same serpentine Stucki dithering as the base class, with the kernel and the
  // tree's lookup inlined into one loop.
  void MapPixels(const TPixelRows& argb, const TPixelRows& indexed) override;

  TOctree& Octree() { return *FOctree; }
  int32_t MaxColors() const { return FMaxColors; }

 protected:
  std::unique_ptr<TColorLookup> CreateColorLookup() override;

 private:
  std::unique_ptr<TOctree> FOctree;
  int32_t FMaxColors;
};

}  // namespace quantize
