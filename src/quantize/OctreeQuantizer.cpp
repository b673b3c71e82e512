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

#if defined(__GNUC__) && !defined(__clang__)
// Without SSE the helpers below pass vectors in a way other compilers may not; they are
// all inlined here and never cross a library boundary.
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

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
// corrects; `biased` is error + 21. A pixel collects at most 42 * 255 of error either
// way, and over that range the single-precision product with this factor, a little
// above 1/42 so that no multiple of 42 can round below its quotient, truncates to the
// exact quotient: checked below for every value.
constexpr float kFortySecond = 0.0238095335f;
constexpr int32_t kMostCollected = 42 * 255 + 21;
consteval bool TruncatesLikeDivision() {
  for (int32_t n = -kMostCollected; n <= kMostCollected; ++n)
    if (static_cast<int32_t>(static_cast<float>(n) * kFortySecond) != n / 42) return false;
  return true;
}
static_assert(TruncatesLikeDivision());

inline TChannels StuckiCorrection(TChannels biased) {
#if defined(__SSE2__)
  using TFloats = float __attribute__((vector_size(16)));
  return __builtin_convertvector(__builtin_convertvector(biased, TFloats) * kFortySecond, TChannels);
#else
  // Without SSE2 the product would go through the x87 unit: plain division is cheaper.
  return biased / 42;
#endif
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
  // columns at each end. The kernel's weights along a row below are 1 2 4 2 1 for the
  // row after next and twice that for the next, so both come from the same sum of the
  // last five pixels' errors, kept in registers: a cell of each row below is written
  // once, when the last pixel that reaches it is done; the row after next gets its
  // first errors from this row, so it is written, not added to, and needs no clearing.
  // The errors along the pixel's own row (8 and 4) come from the same registers.
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
    TChannels last1{}, last2{}, last3{}, last4{};  // the errors of the pixels 1 to 4 back
    // Spreads the error of the pixel at x and finishes the cells 2 back in the rows below.
    auto spread = [&](TChannels error, int32_t x) {
      const TChannels sum = (last4 + error) + ((last3 + last1) << 1) + (last2 << 2);
      after[x - 2 * d] = sum;
      next[x - 2 * d] += sum + sum;
      last4 = last3, last3 = last2, last2 = last1, last1 = error;
    };
    // The dithered colour of the pixel at x and its palette entry.
    auto finish = [&](uint32_t dithered, TOctree::TShortcut found, int32_t x) {
      indices[x] = static_cast<uint8_t>(found.Index);
      StorePixel(pixels, x, found.Color | 0xFF000000u);
      spread(ChannelsOf(dithered) - ChannelsOf(found.Color | 0xFF000000u), x);
    };
    int32_t x = d > 0 ? 0 : width - 1;
    for (int32_t step = 0; step < width;) {
      // The pixels whose colour the shortcut table answers, in a loop without calls so
      // that the errors stay in registers; the others one by one.
      uint32_t dithered = 0;
      TOctree::TShortcut found{0, 0};
      for (; step < width; ++step, x += d) {
        // Alpha takes part as 255 against the palette's 255, so its error stays 0.
        const uint32_t pixel = LoadPixel(pixels, x) | 0xFF000000u;
        // The newest error last: it is the one the previous pixel has just made.
        const TChannels older = current[x] + (last2 << 2) + 21;
        dithered = ClampedPixel(ChannelsOf(pixel) + StuckiCorrection(older + (last1 << 3)));
        found = shortcuts[TOctree::ShortcutCell(dithered)];
        if (found.Index < 0) break;
        finish(dithered, found, x);
      }
      if (step == width) break;
      finish(dithered, tree.Lookup(dithered), x);
      ++step, x += d;
    }
    // The cells the last pixels left open: 1 before the last to 2 beyond it.
    for (int32_t tail = 0; tail < 4; ++tail, x += d) spread(TChannels{0, 0, 0, 0}, x);
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
