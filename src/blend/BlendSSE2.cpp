// The SSE2 path of BlendLineOverMMX; this file is compiled for SSE2 (see CMakeLists.txt).
#include "blend/BlendWide.h"

#if BLEND_HAVE_MMX
#include <emmintrin.h>

#include "blend/BlendWideBody.h"

namespace blend {

namespace {

struct TLanes128 {
  using V = __m128i;
  static constexpr int32_t kPixels = 4;
  static constexpr int32_t kReadAhead = 128;  // pixels
  static V Zero() { return _mm_setzero_si128(); }
  static V Ones() { return _mm_set1_epi32(-1); }
  static V Bytes(uint8_t value) { return _mm_set1_epi8(static_cast<char>(value)); }
  static V Load(const uint32_t* pixels) { return _mm_loadu_si128(reinterpret_cast<const V*>(pixels)); }
  static void Store(uint32_t* pixels, V v) { _mm_storeu_si128(reinterpret_cast<V*>(pixels), v); }
  static void ReadAhead(const uint32_t* pixels) { _mm_prefetch(reinterpret_cast<const char*>(pixels), _MM_HINT_T0); }
  static V Or(V a, V b) { return _mm_or_si128(a, b); }
  static V And(V a, V b) { return _mm_and_si128(a, b); }
  // True when the alpha byte of every pixel equals the byte of `value` there.
  static bool AllAlpha(V pixels, V value) {
    constexpr int kAlphaBytes = 0x8888;  // movemask bits of the alpha bytes of four pixels
    return (_mm_movemask_epi8(_mm_cmpeq_epi8(pixels, value)) & kAlphaBytes) == kAlphaBytes;
  }
  static V UnpackLow(V a, V b) { return _mm_unpacklo_epi8(a, b); }
  static V UnpackHigh(V a, V b) { return _mm_unpackhi_epi8(a, b); }
  // Each pixel's alpha in all four of its lanes, from the widened pixels.
  static V WeightsLow(V, V widened) { return _mm_shufflehi_epi16(_mm_shufflelo_epi16(widened, 0xFF), 0xFF); }
  static V WeightsHigh(V, V widened) { return _mm_shufflehi_epi16(_mm_shufflelo_epi16(widened, 0xFF), 0xFF); }
  // The true sum lies in 0..65408, so the 16-bit wrap-around of the steps cancels out.
  static V Mix(V front, V back, V backRounded, V weight) {
    return _mm_srli_epi16(_mm_add_epi16(backRounded, _mm_mullo_epi16(_mm_sub_epi16(front, back), weight)), 8);
  }
  static V Pack(V low, V high) { return _mm_packus_epi16(low, high); }
  static V KeepOpaque(V front, V mixed) {
    const V opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    const V copy = _mm_cmpeq_epi32(_mm_and_si128(front, opaque), opaque);
    return _mm_or_si128(_mm_and_si128(copy, front), _mm_andnot_si128(copy, mixed));
  }
};

}  // namespace

int32_t BlendOverSSE2(const uint32_t* source, uint32_t* dest, int32_t count) {
  return wide::OverMany<TLanes128>(source, dest, count);
}

}  // namespace blend

#endif  // BLEND_HAVE_MMX
