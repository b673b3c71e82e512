#include "blend/BlendMMX.h"

#include <algorithm>
#include <cstring>

#if BLEND_HAVE_MMX
#include <immintrin.h>
#include <mmintrin.h>
#endif

namespace blend {

namespace {

constexpr std::array<uint64_t, 256> MakeBlendTable() {
  std::array<uint64_t, 256> table{};
  for (uint64_t i = 0; i < 256; ++i) table[i] = i | i << 16 | i << 32 | i << 48;
  return table;
}

}  // namespace

// Built by the compiler: there is nothing to build at start-up or to free at shutdown.
alignas(8) extern constexpr std::array<uint64_t, 256> BlendTable = MakeBlendTable();

#if BLEND_HAVE_MMX

// The intrinsics need the MMX instruction set enabled for the functions that use them;
// the 32-bit build does not enable it for the whole program.
#define BLEND_MMX_TARGET __attribute__((target("mmx")))

namespace {

BLEND_MMX_TARGET inline __m64 Lanes(uint8_t value) {
  __m64 lanes;
  std::memcpy(&lanes, &BlendTable[value], sizeof lanes);
  return lanes;
}

// The four bytes of a pixel widened to four 16-bit lanes.
BLEND_MMX_TARGET inline __m64 Unpack(uint32_t pixel) {
  return _mm_unpacklo_pi8(_mm_cvtsi32_si64(static_cast<int>(pixel)), _mm_setzero_si64());
}

// Four 16-bit lanes narrowed back to bytes with unsigned saturation.
BLEND_MMX_TARGET inline uint32_t Pack(__m64 lanes) {
  return static_cast<uint32_t>(_mm_cvtsi64_si32(_mm_packs_pu16(lanes, lanes)));
}

// (256 * B + w * (F - B) + 128) >> 8 per lane. The true sum lies in 0..65408, so the
// 16-bit wrap-around of the intermediate steps cancels out and the shift is exact.
BLEND_MMX_TARGET inline uint32_t Mix(uint32_t source, uint32_t dest, __m64 weight, __m64 rounding) {
  const __m64 front = Unpack(source), back = Unpack(dest);
  const __m64 delta = _mm_mullo_pi16(_mm_sub_pi16(front, back), weight);
  const __m64 sum = _mm_add_pi16(_mm_add_pi16(_mm_slli_pi16(back, 8), delta), rounding);
  return Pack(_mm_srli_pi16(sum, 8));
}

// The blend first, then clear (0) and opaque (255): this order lets the compiler keep
// runs of clear or opaque pixels on a short path.
BLEND_MMX_TARGET inline void OverOne(uint32_t pixel, uint32_t& dest, __m64 rounding) {
  const uint32_t alpha = pixel >> 24;
  if (alpha - 1 < 254)
    dest = Mix(pixel, dest, Lanes(static_cast<uint8_t>(alpha)), rounding);
  else if (alpha != 0)
    dest = pixel;
}

// The wide paths, chosen at run time so that the 32-bit product gets them too: SSE2
// (four pixels a register) and AVX2 (eight). Both hold two pixels in each 128-bit half
// in the same 16-bit lanes as Mix, which gives the same bytes. Each pixel's weight is its
// alpha spread over its lanes, the lanes BlendTable would give. Clear groups are
// skipped. In the others a clear pixel comes out as its destination ((256 * B + 128) >> 8
// = B) and an opaque one is replaced by its source pixel, as on its own. The rows are
// read ahead, which keeps large pictures streaming from memory.
#define BLEND_SSE2_TARGET __attribute__((target("sse2")))
#define BLEND_AVX2_TARGET __attribute__((target("avx2")))

BLEND_SSE2_TARGET inline __m128i OverFour(__m128i front, const uint32_t* dest) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i back = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dest));
  __m128i halves[2];
  for (int h = 0; h < 2; ++h) {
    const __m128i f = h ? _mm_unpackhi_epi8(front, zero) : _mm_unpacklo_epi8(front, zero);
    const __m128i b = h ? _mm_unpackhi_epi8(back, zero) : _mm_unpacklo_epi8(back, zero);
    const __m128i weight = _mm_shufflehi_epi16(_mm_shufflelo_epi16(f, 0xFF), 0xFF);
    const __m128i delta = _mm_mullo_epi16(_mm_sub_epi16(f, b), weight);
    halves[h] = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(_mm_slli_epi16(b, 8), delta), _mm_set1_epi16(128)), 8);
  }
  const __m128i mixed = _mm_packus_epi16(halves[0], halves[1]);
  const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
  const __m128i copy = _mm_cmpeq_epi32(_mm_and_si128(front, opaque), opaque);
  return _mm_or_si128(_mm_and_si128(copy, front), _mm_andnot_si128(copy, mixed));
}

constexpr int kAlphaBytes = 0x8888;  // movemask bits of the alpha bytes of four pixels

BLEND_SSE2_TARGET inline bool AllAlpha(__m128i pixels, __m128i value) {
  return (_mm_movemask_epi8(_mm_cmpeq_epi8(pixels, value)) & kAlphaBytes) == kAlphaBytes;
}

BLEND_SSE2_TARGET inline __m128i Load4(const uint32_t* pixels) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels));
}
BLEND_SSE2_TARGET inline void Store4(uint32_t* pixels, __m128i four) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(pixels), four);
}

// Blocks of sixteen pixels (a cache line) first: all clear are skipped, all opaque
// copied, others blended group by group. Then groups of four, clear ones skipped.
// Returns how many pixels it did: whole groups of four, as many as count holds.
BLEND_SSE2_TARGET int32_t OverFours(const uint32_t* source, uint32_t* dest, int32_t count) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i ones = _mm_cmpeq_epi8(zero, zero);
  int32_t i = 0;
  for (; count - i >= 16; i += 16) {
    _mm_prefetch(reinterpret_cast<const char*>(source + i + 128), _MM_HINT_T0);
    _mm_prefetch(reinterpret_cast<const char*>(dest + i + 128), _MM_HINT_T0);
    const __m128i f0 = Load4(source + i), f1 = Load4(source + i + 4);
    const __m128i f2 = Load4(source + i + 8), f3 = Load4(source + i + 12);
    if (AllAlpha(_mm_or_si128(_mm_or_si128(f0, f1), _mm_or_si128(f2, f3)), zero)) continue;
    if (AllAlpha(_mm_and_si128(_mm_and_si128(f0, f1), _mm_and_si128(f2, f3)), ones)) {
      Store4(dest + i, f0);
      Store4(dest + i + 4, f1);
      Store4(dest + i + 8, f2);
      Store4(dest + i + 12, f3);
      continue;
    }
    Store4(dest + i, OverFour(f0, dest + i));
    Store4(dest + i + 4, OverFour(f1, dest + i + 4));
    Store4(dest + i + 8, OverFour(f2, dest + i + 8));
    Store4(dest + i + 12, OverFour(f3, dest + i + 12));
  }
  for (; count - i >= 4; i += 4) {
    const __m128i front = Load4(source + i);
    if (!AllAlpha(front, zero)) Store4(dest + i, OverFour(front, dest + i));
  }
  return i;
}

// OverFour on eight pixels: the unpacks, shuffles and the pack work within each 128-bit
// half, so each half is exactly OverFour of its four pixels.
BLEND_AVX2_TARGET inline __m256i OverEight(__m256i front, const uint32_t* dest) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i back = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(dest));
  __m256i halves[2];
  for (int h = 0; h < 2; ++h) {
    const __m256i f = h ? _mm256_unpackhi_epi8(front, zero) : _mm256_unpacklo_epi8(front, zero);
    const __m256i b = h ? _mm256_unpackhi_epi8(back, zero) : _mm256_unpacklo_epi8(back, zero);
    const __m256i weight = _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(f, 0xFF), 0xFF);
    const __m256i delta = _mm256_mullo_epi16(_mm256_sub_epi16(f, b), weight);
    halves[h] = _mm256_srli_epi16(
        _mm256_add_epi16(_mm256_add_epi16(_mm256_slli_epi16(b, 8), delta), _mm256_set1_epi16(128)), 8);
  }
  const __m256i mixed = _mm256_packus_epi16(halves[0], halves[1]);
  const __m256i opaque = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
  const __m256i copy = _mm256_cmpeq_epi32(_mm256_and_si256(front, opaque), opaque);
  return _mm256_blendv_epi8(mixed, front, copy);
}

BLEND_AVX2_TARGET inline bool AllAlpha8(__m256i pixels, __m256i value) {
  constexpr uint32_t kAlpha8 = 0x88888888u;
  return (static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(pixels, value))) & kAlpha8) == kAlpha8;
}

BLEND_AVX2_TARGET inline __m256i Load8(const uint32_t* pixels) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pixels));
}
BLEND_AVX2_TARGET inline void Store8(uint32_t* pixels, __m256i eight) {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(pixels), eight);
}

// As OverFours with blocks of thirty-two pixels and groups of eight; whole groups of
// eight, as many as count holds.
BLEND_AVX2_TARGET int32_t OverEights(const uint32_t* source, uint32_t* dest, int32_t count) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i ones = _mm256_cmpeq_epi8(zero, zero);
  int32_t i = 0;
  for (; count - i >= 32; i += 32) {
    _mm_prefetch(reinterpret_cast<const char*>(source + i + 256), _MM_HINT_T0);
    _mm_prefetch(reinterpret_cast<const char*>(dest + i + 256), _MM_HINT_T0);
    const __m256i f0 = Load8(source + i), f1 = Load8(source + i + 8);
    const __m256i f2 = Load8(source + i + 16), f3 = Load8(source + i + 24);
    if (AllAlpha8(_mm256_or_si256(_mm256_or_si256(f0, f1), _mm256_or_si256(f2, f3)), zero)) continue;
    if (AllAlpha8(_mm256_and_si256(_mm256_and_si256(f0, f1), _mm256_and_si256(f2, f3)), ones)) {
      Store8(dest + i, f0);
      Store8(dest + i + 8, f1);
      Store8(dest + i + 16, f2);
      Store8(dest + i + 24, f3);
      continue;
    }
    Store8(dest + i, OverEight(f0, dest + i));
    Store8(dest + i + 8, OverEight(f1, dest + i + 8));
    Store8(dest + i + 16, OverEight(f2, dest + i + 16));
    Store8(dest + i + 24, OverEight(f3, dest + i + 24));
  }
  for (; count - i >= 8; i += 8) {
    const __m256i front = Load8(source + i);
    if (!AllAlpha8(front, zero)) Store8(dest + i, OverEight(front, dest + i));
  }
  return i;
}

TWidePath ChooseWidePath() {
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) return wpAVX2;
  if (__builtin_cpu_supports("sse2")) return wpSSE2;
  return wpNone;
}

}  // namespace

TWidePath BlendWidePath() {
  static const TWidePath path = ChooseWidePath();
  return path;
}

BLEND_MMX_TARGET void BlendLineOverMMXWith(const uint32_t* source, uint32_t* dest, int32_t count, TWidePath path) {
  const __m64 rounding = Lanes(128);
  int32_t i = 0;
  // Many pixels at a time where the processor allows: all clear are skipped and all
  // opaque copied without any arithmetic (anti-aliased art is mostly made of such runs);
  // the rest are blended, the same bytes as one pixel at a time. Then groups of four in
  // MMX registers and a tail of up to three pixels one by one.
  if (path == wpAVX2) i = OverEights(source, dest, count);
  if (path != wpNone) i += OverFours(source + i, dest + i, count - i);
  for (; count - i >= 4; i += 4) {
    const uint32_t p0 = source[i], p1 = source[i + 1], p2 = source[i + 2], p3 = source[i + 3];
    if (((p0 | p1 | p2 | p3) >> 24) == 0) continue;
    if (((p0 & p1 & p2 & p3) >> 24) == 0xFF) {
      std::memcpy(dest + i, source + i, 4 * sizeof(uint32_t));
      continue;
    }
    for (int32_t k = i; k < i + 4; ++k) OverOne(source[k], dest[k], rounding);
  }
  for (; i < count; ++i) OverOne(source[i], dest[i], rounding);
  _mm_empty();
}

void BlendLineOverMMX(const uint32_t* source, uint32_t* dest, int32_t count) {
  BlendLineOverMMXWith(source, dest, count, BlendWidePath());
}

BLEND_MMX_TARGET void BlendLineOverMasterMMX(const uint32_t* source, uint32_t* dest, int32_t count, uint8_t master) {
  const __m64 rounding = Lanes(128);
  for (int32_t i = 0; i < count; ++i) {
    const uint32_t pixel = source[i];
    const uint32_t weight = (((pixel >> 24) + 1) * master) >> 8;
    if (weight == 0) continue;  // also every pixel of alpha 0
    dest[i] = Mix(pixel, dest[i], Lanes(static_cast<uint8_t>(weight)), rounding);
  }
  _mm_empty();
}

BLEND_MMX_TARGET void BlendLineConstantMMX(const uint32_t* source, uint32_t* dest, int32_t count, int32_t bias,
                                           uint8_t alpha) {
  // B * (256 - alpha) + alpha * F stays within 0..65280; t + bias within -255..510, and
  // the saturating pack clamps it to a byte. Any bias beyond +-255 clamps alike.
  const __m64 keep = _mm_set1_pi16(static_cast<int16_t>(256 - alpha));
  const __m64 take = Lanes(alpha);
  const __m64 offset = _mm_set1_pi16(static_cast<int16_t>(std::clamp(bias, -255, 255)));
  for (int32_t i = 0; i < count; ++i) {
    const __m64 sum = _mm_add_pi16(_mm_mullo_pi16(Unpack(dest[i]), keep), _mm_mullo_pi16(Unpack(source[i]), take));
    dest[i] = Pack(_mm_add_pi16(_mm_srli_pi16(sum, 8), offset));
  }
  _mm_empty();
}

#endif  // BLEND_HAVE_MMX

}  // namespace blend
