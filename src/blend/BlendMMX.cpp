#include "blend/BlendMMX.h"

#include <algorithm>
#include <cstring>

#include "blend/BlendGroups.h"
#include "blend/BlendWide.h"

#if BLEND_HAVE_MMX
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

// One pixel with the MMX form, for the walk in groups of four.
struct TOverOneMMX {
  BLEND_MMX_TARGET void operator()(uint32_t pixel, uint32_t& dest) const { OverOne(pixel, dest, Lanes(128)); }
};

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
  int32_t i = 0;
  // Many pixels at a time where the processor allows (the same bytes as one pixel at a
  // time), then groups of four in MMX registers.
  if (path == wpAVX2) i = BlendOverAVX2(source, dest, count);
  if (path != wpNone) i += BlendOverSSE2(source + i, dest + i, count - i);
  OverInGroupsOfFour(source, dest, count, i, TOverOneMMX{});
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
