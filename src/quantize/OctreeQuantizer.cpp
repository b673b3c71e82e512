#include "quantize/OctreeQuantizer.h"

#include <algorithm>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Three channels side by side in the order of a pixel's bytes (blue, green, red, alpha),
// so that the ditherer moves all of them with one operation.
using TChannels = int32_t __attribute__((vector_size(16)));

inline TChannels ChannelsOf(uint32_t argb) {
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i bytes = _mm_cvtsi32_si128(static_cast<int>(argb));
  return reinterpret_cast<TChannels>(_mm_unpacklo_epi16(_mm_unpacklo_epi8(bytes, zero), zero));
#else
  return TChannels{static_cast<int32_t>(argb & 0xFF), static_cast<int32_t>(argb >> 8 & 0xFF),
                   static_cast<int32_t>(argb >> 16 & 0xFF), static_cast<int32_t>(argb >> 24)};
#endif
}

// (error + 21) div 42 per channel, truncated towards zero, as the Stucki ditherer
// corrects. The error a pixel collects is at most 42 * 255 in size, far inside the range
// where a single-precision quotient truncates to the exact integer one: a quotient that
// is not whole lies at least 1/42 from the next integer, much more than its rounding.
inline TChannels StuckiCorrection(TChannels collected) {
  using TFloats = float __attribute__((vector_size(16)));
  const TFloats quotient = __builtin_convertvector(collected + 21, TFloats) / 42.0f;
  return __builtin_convertvector(quotient, TChannels);
}

// The channels clamped to 0..255, as the bytes of a pixel.
inline uint32_t ClampedPixel(TChannels v) {
#if defined(__SSE2__)
  const __m128i words = _mm_packs_epi32(reinterpret_cast<__m128i>(v), reinterpret_cast<__m128i>(v));
  return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(words, words)));
#else
  uint32_t pixel = 0;
  for (int lane = 0; lane < 4; ++lane) pixel |= static_cast<uint32_t>(std::clamp(v[lane], 0, 255)) << (8 * lane);
  return pixel;
#endif
}

}  // namespace

void TOctreeQuantizer::MapPixels(const TPixelRows& argb, const TPixelRows& indexed) {
  const int32_t width = std::min(argb.Width, indexed.Width);
  const int32_t height = std::min(argb.Height, indexed.Height);
  if (width <= 0 || height <= 0) return;
  TOctree& tree = *FOctree;
  const TOctree::TShortcut* shortcuts = tree.Shortcuts();
  // Three error rows (the row of the pixel, the next and the one after), two spare
  // columns at each end. The errors the pixel spreads along its own row and into the two
  // rows below stay in registers while the kernel slides over them; a cell goes to
  // memory once no later pixel of the row adds to it. The row after next gets its first
  // errors from this row, so its cells are written, not added to, and need no clearing.
  const size_t span = static_cast<size_t>(width) + 4;
  std::vector<TChannels> errors(3 * span, TChannels{0, 0, 0, 0});
  TChannels* rows[3];
  for (size_t r = 0; r < 3; ++r) rows[r] = errors.data() + r * span + 2;
  int32_t d = 1;
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* pixels = argb.Row(y);
    uint8_t* indices = indexed.Row(y);
    const TChannels* current = rows[0];
    TChannels* next = rows[1];
    TChannels* after = rows[2];
    // ahead1/ahead2: this row's errors for the next two pixels; nextN/afterN: the partial
    // sums of the cells 2 before (M2) to 1 beyond (P1) the pixel in the rows below.
    TChannels ahead1{}, ahead2{};
    TChannels nextM2{}, nextM1{}, next0{}, nextP1{};
    TChannels afterM2{}, afterM1{}, after0{}, afterP1{};
    int32_t x = d > 0 ? 0 : width - 1;
    for (int32_t step = 0; step < width; ++step, x += d) {
      const uint32_t pixel = LoadPixel(pixels, x) | 0xFF000000u;
      // Alpha takes part as 255 against the palette's 255, so its error stays 0.
      const uint32_t dithered = ClampedPixel(ChannelsOf(pixel) + StuckiCorrection(current[x] + ahead1));
      const TOctree::TShortcut shortcut = shortcuts[TOctree::ShortcutCell(dithered)];
      uint32_t color = shortcut.Color;
      int32_t index = shortcut.Index;
      if (index < 0) index = tree.FindIndex(dithered, color);
      indices[x] = static_cast<uint8_t>(index);
      StorePixel(pixels, x, color | 0xFF000000u);
      const TChannels e = ChannelsOf(dithered) - ChannelsOf(color | 0xFF000000u);
      const TChannels e2 = e + e, e4 = e2 + e2, e8 = e4 + e4;
      ahead1 = ahead2 + e8;
      ahead2 = e4;
      next[x - 2 * d] += nextM2 + e2;
      nextM2 = nextM1 + e4, nextM1 = next0 + e8, next0 = nextP1 + e4, nextP1 = e2;
      after[x - 2 * d] = afterM2 + e;
      afterM2 = afterM1 + e2, afterM1 = after0 + e4, after0 = afterP1 + e2, afterP1 = e;
    }
    // The cells the last pixel left open: 1 before it to 2 beyond it.
    next[x - 2 * d] += nextM2, next[x - d] += nextM1, next[x] += next0, next[x + d] += nextP1;
    after[x - 2 * d] = afterM2, after[x - d] = afterM1, after[x] = after0, after[x + d] = afterP1;
    // The finished row goes last, to be written over; the walk turns round.
    TChannels* done = rows[0];
    rows[0] = rows[1], rows[1] = rows[2], rows[2] = done;
    d = -d;
  }
}

std::unique_ptr<TColorLookup> TOctreeQuantizer::CreateColorLookup() {
  return std::make_unique<TOctreeColorLookup>(*this);
}

}  // namespace quantize
