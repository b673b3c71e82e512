#include "quantize/OctreeQuantizer.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

#if defined(__i386__) || defined(__x86_64__)
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

#if defined(__i386__) || defined(__x86_64__)
#define QUANTIZE_HAVE_SSE2 1
// The 32-bit build does not assume SSE2 for the whole program: the dithering loop is
// compiled for it and taken when the processor has it.
#define QUANTIZE_SSE2_TARGET __attribute__((target("sse2")))
#else
#define QUANTIZE_HAVE_SSE2 0
#endif

// (n + 21) div 42 truncated towards zero, the Stucki ditherer's correction, by a
// multiplication: with biased = n + 21, ((biased * kFortySecond) >> 20) rounds down, and
// adding 1 for a negative biased turns that into truncation. A pixel collects at most
// 42 * 255 of error either way, so biased fits 16 bits; checked below for every value.
constexpr int32_t kFortySecond = 24967;  // 2^20 / 42 rounded up
constexpr int32_t kMostCollected = 42 * 255 + 21;
constexpr int32_t DivideBy42(int32_t biased) {
  const int32_t high = (biased * kFortySecond) >> 16;  // what a 16-bit high multiply keeps
  return (high >> 4) - (biased >> 15);
}
consteval bool DividesLikeDivision() {
  for (int32_t n = -kMostCollected; n <= kMostCollected; ++n)
    if (DivideBy42(n) != n / 42) return false;
  return true;
}
static_assert(DividesLikeDivision());

#if QUANTIZE_HAVE_SSE2
// One pixel's three channels and alpha in the four low 16-bit lanes of a register, in
// the order of its bytes (blue, green, red, alpha): the ditherer moves all of them with
// one operation. The errors rows hold the same four lanes, 8 bytes a column.
QUANTIZE_SSE2_TARGET inline __m128i LoadLanes(const uint64_t* cell) {
  return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(cell));
}
QUANTIZE_SSE2_TARGET inline void StoreLanes(uint64_t* cell, __m128i lanes) {
  _mm_storel_epi64(reinterpret_cast<__m128i*>(cell), lanes);
}

// The tree's shortcut table as the walk reads it: each entry with the colour's channels
// times 8 in four 16-bit lanes beside it, the form the next pixel's correction takes.
struct alignas(16) TLaneShortcut {
  uint64_t Eightfold;
  TOctree::TShortcut Entry;
};
static_assert(sizeof(TLaneShortcut) == 16);

// The rows of errors start at 21 in every lane, the rounding term of the division by
// 42, so that a pixel's correction needs one addition less.
constexpr uint64_t kRoundingLanes = 0x0015001500150015u;

// The value as it is: the compiler may not fold it into the sums around it.
QUANTIZE_SSE2_TARGET inline __m128i Settled(__m128i lanes) {
  __asm__("" : "+x"(lanes));
  return lanes;
}

// One row of the walk: where it reads and writes, and how far it has come. The errors
// of the last four pixels are the kernel's state; Walk keeps them in registers.
struct TRowWalk {
  const TLaneShortcut* Shortcuts;
  uint8_t* Pixels;
  uint8_t* Indices;
  const uint64_t* Current;  // the errors collected for this row
  uint64_t* Next;           // for the next row
  uint64_t* After;          // for the row after next
  int32_t Width, D;         // D: the direction, 1 or -1
  int32_t Step, X;
  __m128i Last[4];    // the errors of the pixels 1 to 4 back
  uint32_t Dithered;  // the colour of the pixel the walk stopped at
};

// The serpentine Stucki dithering of one row, from walk.Step on. The kernel's weights
// along a row below are 1 2 4 2 1 for the row after next and twice that for the next,
// so both come from the same sum of the last five pixels' errors, kept in registers: a
// cell of each row below is written once, when the last pixel that reaches it is done;
// the row after next gets its first errors from this row, so it is written, not added
// to, and needs no clearing. The errors along the pixel's own row (8 and 4) come from
// the same registers. Most pixels end with one read of the tree's shortcut table, whose
// entry goes straight into the lanes; at a pixel the table cannot answer the walk stops
// (false, with walk.Dithered) so that the caller asks the tree, and goes on with that
// answer as `resolved`. True when the row is done.
QUANTIZE_SSE2_TARGET __attribute__((noinline)) bool Walk(TRowWalk& walk, const TOctree::TShortcut* resolved) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i rounding = LoadLanes(&kRoundingLanes);
  const __m128i factor = _mm_set1_epi16(static_cast<int16_t>(kFortySecond));
  const int32_t width = walk.Width, d = walk.D;
  const TLaneShortcut* shortcuts = walk.Shortcuts;
  uint8_t* pixels = walk.Pixels;
  uint8_t* indices = walk.Indices;
  const uint64_t* current = walk.Current;
  uint64_t* next = walk.Next - 2 * d;  // the cells 2 back
  uint64_t* after = walk.After - 2 * d;
  __m128i last1 = walk.Last[0], last2 = walk.Last[1], last3 = walk.Last[2], last4 = walk.Last[3];
  __m128i last1Eightfold = _mm_slli_epi16(last1, 3);
  int32_t step = walk.Step, x = walk.X;
  bool done = true;
  // Four more steps after the row close the cells its last pixels left open: 1 before
  // the last to 2 beyond it, with no error of their own.
  for (; step < width + 4; ++step, x += d) {
    __m128i error = zero, errorEightfold = zero;
    if (step < width) {
      // Alpha takes part as 255 against the palette's 255, so its error stays 0.
      const __m128i pixel =
          _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(LoadPixel(pixels, x) | 0xFF000000u)), zero);
      // The newest error last: it is the one the previous pixel has just made.
      // The sums are kept in this order with Settled: the newest error goes in last, and
      // the rounding step for negative sums beside the multiplication, which is the
      // longer way; left to itself the compiler puts both at the end of the chain from
      // one pixel to the next.
      const __m128i older = Settled(_mm_add_epi16(LoadLanes(current + x), _mm_slli_epi16(last2, 2)));
      const __m128i biased = _mm_add_epi16(older, last1Eightfold);
      const __m128i corrected = _mm_add_epi16(Settled(_mm_sub_epi16(pixel, _mm_srai_epi16(biased, 15))),
                                              _mm_srai_epi16(_mm_mulhi_epi16(biased, factor), 4));
      const __m128i clamped = _mm_packus_epi16(corrected, zero);
      const auto dithered = static_cast<uint32_t>(_mm_cvtsi128_si32(clamped));
      // The entry of TOctree::ShortcutCell(dithered), as a byte offset.
      const size_t offset = (dithered >> 8 & 0xF000) | (dithered >> 4 & 0xF00) | (dithered & 0xF0);
      const TLaneShortcut* entry =
          reinterpret_cast<const TLaneShortcut*>(reinterpret_cast<const char*>(shortcuts) + offset);
      const TOctree::TShortcut* found = &entry->Entry;
      // Eightfold in the low lanes; what the high ones get goes nowhere.
      __m128i chosenEightfold = _mm_load_si128(reinterpret_cast<const __m128i*>(entry));
      if (found->Index < 0) {
        if (resolved == nullptr) {
          walk.Dithered = dithered;
          done = false;
          break;
        }
        found = resolved;
        chosenEightfold =
            _mm_slli_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(found->Color | 0xFF000000u)), zero), 3);
      }
      resolved = nullptr;
      indices[x] = static_cast<uint8_t>(found->Index);
      StorePixel(pixels, x, found->Color | 0xFF000000u);
      errorEightfold = _mm_sub_epi16(_mm_slli_epi16(_mm_unpacklo_epi8(clamped, zero), 3), chosenEightfold);
      error = _mm_srai_epi16(errorEightfold, 3);  // exact: a multiple of 8
    }
    // Spreads the error of the pixel at x and finishes the cells 2 back in the rows below.
    const __m128i sum =
        _mm_add_epi16(_mm_add_epi16(_mm_add_epi16(last4, error), _mm_slli_epi16(_mm_add_epi16(last3, last1), 1)),
                      _mm_slli_epi16(last2, 2));
    StoreLanes(after + x, _mm_add_epi16(sum, rounding));
    StoreLanes(next + x, _mm_add_epi16(LoadLanes(next + x), _mm_add_epi16(sum, sum)));
    last4 = last3, last3 = last2, last2 = last1, last1 = error, last1Eightfold = errorEightfold;
  }
  walk.Last[0] = last1, walk.Last[1] = last2, walk.Last[2] = last3, walk.Last[3] = last4;
  walk.Step = step, walk.X = x;
  return done;
}

QUANTIZE_SSE2_TARGET void DitherRows(TOctree& tree, const TPixelRows& argb, const TPixelRows& indexed, int32_t width,
                                     int32_t height) {
  const size_t span = static_cast<size_t>(width) + 4;  // two spare columns at each end
  std::vector<uint64_t> errors(3 * span, kRoundingLanes);
  uint64_t* rows[3];
  for (size_t r = 0; r < 3; ++r) rows[r] = errors.data() + r * span + 2;
  TRowWalk walk{};
  const TOctree::TShortcut* shortcuts = tree.Shortcuts();
  std::vector<TLaneShortcut> table(size_t{1} << 12);  // every ShortcutCell
  for (size_t cell = 0; cell < table.size(); ++cell) {
    // Every colour the tree answers has alpha 255: alpha's error stays 0.
    const uint32_t color = shortcuts[cell].Color | 0xFF000000u;
    uint64_t lanes = 0;
    for (int lane = 0; lane < 4; ++lane) lanes |= uint64_t{(color >> (8 * lane) & 0xFF) * 8} << (16 * lane);
    table[cell] = {lanes, shortcuts[cell]};
  }
  walk.Shortcuts = table.data();
  walk.Width = width;
  walk.D = 1;
  for (int32_t y = 0; y < height; ++y) {
    walk.Pixels = argb.Row(y);
    walk.Indices = indexed.Row(y);
    walk.Current = rows[0], walk.Next = rows[1], walk.After = rows[2];
    walk.Step = 0;
    walk.X = walk.D > 0 ? 0 : width - 1;
    for (__m128i& last : walk.Last) last = _mm_setzero_si128();
    TOctree::TShortcut answer{0, 0};
    for (const TOctree::TShortcut* resolved = nullptr; !Walk(walk, resolved); resolved = &answer)
      answer = tree.Lookup(walk.Dithered);
    // The finished row goes last, to be written over; the walk turns round.
    uint64_t* finished = rows[0];
    rows[0] = rows[1], rows[1] = rows[2], rows[2] = finished;
    walk.D = -walk.D;
  }
}

bool HasSSE2() {
#if defined(__SSE2__)
  return true;
#else
  __builtin_cpu_init();
  return __builtin_cpu_supports("sse2");
#endif
}
#endif

}  // namespace

void TOctreeQuantizer::MapPixels(const TPixelRows& argb, const TPixelRows& indexed) {
  const int32_t width = std::min(argb.Width, indexed.Width);
  const int32_t height = std::min(argb.Height, indexed.Height);
  if (width <= 0 || height <= 0) return;
#if QUANTIZE_HAVE_SSE2
  static const bool sse2 = HasSSE2();
  if (sse2) {
    DitherRows(*FOctree, argb, indexed, width, height);
    return;
  }
#endif
  TQuantizer::MapPixels(argb, indexed);  // the same dithering through the lookup
}

std::unique_ptr<TColorLookup> TOctreeQuantizer::CreateColorLookup() {
  return std::make_unique<TOctreeColorLookup>(*this);
}

}  // namespace quantize
