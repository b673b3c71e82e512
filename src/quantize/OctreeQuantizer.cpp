#include "quantize/OctreeQuantizer.h"

#include <algorithm>
#include <vector>

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
    FOctree->InsertPixels(row, argb.Width);
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

namespace {

// (error + 21) div 42, truncated towards zero, as the Stucki ditherer corrects.
inline int32_t StuckiCorrection(int32_t error) {
  constexpr uint64_t kReciprocal = (uint64_t{1} << 32) / 42 + 1;
  const int32_t n = error + 21;
  const uint64_t magnitude = static_cast<uint64_t>(n < 0 ? -static_cast<int64_t>(n) : n);
  const auto quotient = static_cast<int32_t>((magnitude * kReciprocal) >> 32);
  return n < 0 ? -quotient : quotient;
}

}  // namespace

void TOctreeQuantizer::MapPixels(const TPixelRows& argb, const TPixelRows& indexed) {
  const int32_t width = std::min(argb.Width, indexed.Width);
  const int32_t height = std::min(argb.Height, indexed.Height);
  if (width <= 0 || height <= 0) return;
  // Three error rows (the row of the pixel, the next and the one after), two spare
  // columns at each end; a column holds the red, green and blue errors side by side, so
  // the kernel moves all three channels with one add per weight.
  using TErrors = int32_t __attribute__((vector_size(16)));
  const size_t span = static_cast<size_t>(width) + 4;
  std::vector<TErrors> errors(3 * span, TErrors{0, 0, 0, 0});
  TErrors* rows[3];
  for (size_t r = 0; r < 3; ++r) rows[r] = errors.data() + r * span + 2;
  int32_t d = 1;
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* pixels = argb.Row(y);
    uint8_t* indices = indexed.Row(y);
    int32_t x = d > 0 ? 0 : width - 1;
    for (int32_t step = 0; step < width; ++step, x += d) {
      const uint32_t pixel = LoadPixel(pixels, x);
      const TErrors collected = rows[0][x];
      const int32_t red = std::clamp(RedOf(pixel) + StuckiCorrection(collected[0]), 0, 255);
      const int32_t green = std::clamp(GreenOf(pixel) + StuckiCorrection(collected[1]), 0, 255);
      const int32_t blue = std::clamp(BlueOf(pixel) + StuckiCorrection(collected[2]), 0, 255);
      uint32_t color = 0;
      const int32_t index = FOctree->FindIndex(
          MakeArgb(255, static_cast<uint8_t>(red), static_cast<uint8_t>(green), static_cast<uint8_t>(blue)), color);
      indices[x] = static_cast<uint8_t>(index);
      StorePixel(pixels, x, color | 0xFF000000u);
      const TErrors e{red - RedOf(color), green - GreenOf(color), blue - BlueOf(color), 0};
      TErrors* current = rows[0] + x;
      TErrors* next = rows[1] + x;
      TErrors* after = rows[2] + x;
      current[d] += 8 * e, current[2 * d] += 4 * e;
      next[-2 * d] += 2 * e, next[-d] += 4 * e, next[0] += 8 * e, next[d] += 4 * e, next[2 * d] += 2 * e;
      after[-2 * d] += e, after[-d] += 2 * e, after[0] += 4 * e, after[d] += 2 * e, after[2 * d] += e;
    }
    // The finished row is cleared and goes last; the walk turns round.
    TErrors* done = rows[0];
    std::fill_n(done - 2, span, TErrors{0, 0, 0, 0});
    rows[0] = rows[1], rows[1] = rows[2], rows[2] = done;
    d = -d;
  }
}

std::unique_ptr<TColorLookup> TOctreeQuantizer::CreateColorLookup() {
  return std::make_unique<TOctreeColorLookup>(*this);
}

}  // namespace quantize
