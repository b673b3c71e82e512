#include "quantize/OctreeQuantizer.h"

#include <algorithm>

#include "base/Exceptions.h"

namespace quantize {

TOctreeQuantizer::TOctreeQuantizer(int32_t maxColors, int32_t maxColorBits) : TQuantizer(false), FMaxColors(maxColors) {
  if (maxColors >= 256) throw base::Exception("The number of colors should be less than 256");
  // A limit of maxColors - 1 below 1 leaf could never be reached by merging.
  if (maxColors < 2) throw base::Exception("The number of colors should be at least 2");
  if (maxColorBits < 1 || maxColorBits > 8) throw base::Exception("This should be between 1 and 8");
  FOctree = std::make_unique<TOctree>(maxColorBits);
}

void TOctreeQuantizer::CollectColors(const TPixelRows& argb) {
  if (argb.Width > 0 && argb.Height > 0) FOctree->Reserve(static_cast<size_t>(argb.Width) * argb.Height);
  for (int32_t y = 0; y < argb.Height; ++y) {
    const uint8_t* row = argb.Row(y);
    for (int32_t x = 0; x < argb.Width; ++x) FOctree->InsertColor(LoadPixel(row, x));
  }
}

int32_t TOctreeQuantizer::PixelIndex(uint32_t argb) {
  uint32_t color;
  return PixelIndex(argb, color);
}

void TOctreeQuantizer::FillPalette(std::span<uint32_t> palette) {
  const std::vector<uint32_t> colors = FOctree->MakePalette(FMaxColors - 1);
  std::copy_n(colors.begin(), std::min(colors.size(), palette.size()), palette.begin());
  if (static_cast<size_t>(FMaxColors) < palette.size()) palette[static_cast<size_t>(FMaxColors)] = 0xFF000000u;
}

std::unique_ptr<TColorLookup> TOctreeQuantizer::CreateColorLookup() {
  return std::make_unique<TOctreeColorLookup>(*this);
}

}  // namespace quantize
