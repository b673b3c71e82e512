// The AVX2 path of BlendLineOverMMX; this file is compiled for AVX2 (see CMakeLists.txt).
#include "blend/BlendWide.h"

#if BLEND_HAVE_MMX
#include <immintrin.h>

#include "blend/BlendWideBody.h"

namespace blend {

namespace {

// The unpacks, shuffles and the pack work within each 128-bit half, so each half is
// exactly the SSE2 path's register of its four pixels.
struct TLanes256 {
  using V = __m256i;
  static constexpr int32_t kPixels = 8;
  static constexpr int32_t kReadAhead = 256;  // pixels
  static V Zero() { return _mm256_setzero_si256(); }
  static V Ones() { return _mm256_set1_epi32(-1); }
  static V Bytes(uint8_t value) { return _mm256_set1_epi8(static_cast<char>(value)); }
  static V Load(const uint32_t* pixels) { return _mm256_loadu_si256(reinterpret_cast<const V*>(pixels)); }
  static void Store(uint32_t* pixels, V v) { _mm256_storeu_si256(reinterpret_cast<V*>(pixels), v); }
  static void ReadAhead(const uint32_t* pixels) { _mm_prefetch(reinterpret_cast<const char*>(pixels), _MM_HINT_T0); }
  static V Or(V a, V b) { return _mm256_or_si256(a, b); }
  static V And(V a, V b) { return _mm256_and_si256(a, b); }
  static bool AllAlpha(V pixels, V value) {
    constexpr uint32_t kAlphaBytes = 0x88888888u;
    return (static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(pixels, value))) & kAlphaBytes) == kAlphaBytes;
  }
  static V UnpackLow(V a, V b) { return _mm256_unpacklo_epi8(a, b); }
  static V UnpackHigh(V a, V b) { return _mm256_unpackhi_epi8(a, b); }
  // Each pixel's alpha byte in all four of its lanes, high bytes 0, straight from the
  // pixels (0x80 in a shuffle index gives 0).
  static V Weights(V front, int first) {
    const char a = static_cast<char>(first + 3), b = static_cast<char>(first + 7), z = static_cast<char>(0x80);
    return _mm256_shuffle_epi8(front, _mm256_setr_epi8(a, z, a, z, a, z, a, z, b, z, b, z, b, z, b, z, a, z, a, z, a, z,
                                                       a, z, b, z, b, z, b, z, b, z));
  }
  static V WeightsLow(V front, V) { return Weights(front, 0); }
  static V WeightsHigh(V front, V) { return Weights(front, 8); }
  static V Mix(V front, V back, V backRounded, V weight) {
    return _mm256_srli_epi16(_mm256_add_epi16(backRounded, _mm256_mullo_epi16(_mm256_sub_epi16(front, back), weight)),
                             8);
  }
  static V Pack(V low, V high) { return _mm256_packus_epi16(low, high); }
  static V KeepOpaque(V front, V mixed) {
    const V opaque = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    return _mm256_blendv_epi8(mixed, front, _mm256_cmpeq_epi32(_mm256_and_si256(front, opaque), opaque));
  }
};

}  // namespace

int32_t BlendOverAVX2(const uint32_t* source, uint32_t* dest, int32_t count) {
  return wide::OverMany<TLanes256>(source, dest, count);
}

}  // namespace blend

#endif  // BLEND_HAVE_MMX
