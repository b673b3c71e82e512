#include "base/Crc32.h"

#include <zlib.h>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define BASE_CRC32_FOLD 1
#endif

namespace base {

uint32_t Crc32Portable(uint32_t crc, const void* data, size_t length) {
  const auto* p = static_cast<const Bytef*>(data);
  // z_size_t is as wide as size_t, so one call takes any length.
  return static_cast<uint32_t>(crc32_z(crc, p, length));
}

#ifdef BASE_CRC32_FOLD

namespace {

#define BASE_CRC32_TARGET __attribute__((target("pclmul,sse4.1")))

BASE_CRC32_TARGET inline __m128i Load(const uint8_t* at) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// a moved k bits on (both halves of k) and added to the 128 bits b that follow it.
BASE_CRC32_TARGET inline __m128i FoldOnto(__m128i a, __m128i k, __m128i b) {
  return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(a, k, 0x00), _mm_clmulepi64_si128(a, k, 0x11)), b);
}

// Folding by carry-less multiplication (Gopal, Ozturk et al., "Fast CRC Computation for
// Generic Polynomials Using PCLMULQDQ Instruction", Intel 2009), in the bit-reflected
// domain of the gzip polynomial: four 128-bit lanes are folded 64 bytes ahead, then into
// one lane, 16 bytes at a time, and the last 128 bits are reduced to 32 (Barrett).
// Takes and returns the register value (the inverted CRC); length is at least 64 and a
// multiple of 16.
BASE_CRC32_TARGET uint32_t Fold(const uint8_t* p, size_t length, uint32_t crc) {
  // x^(4*128+64) mod P and x^(4*128) mod P, reflected; then the same for one lane (128+64,
  // 128); x^64 mod P; the polynomial P and the Barrett constant floor(x^64 / P).
  const __m128i k1k2 = _mm_set_epi64x(0x01c6e41596, 0x0154442bd4);
  const __m128i k3k4 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);
  const __m128i k5 = _mm_set_epi64x(0, 0x0163cd6124);
  const __m128i poly = _mm_set_epi64x(0x01f7011641, 0x01db710641);
  const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);

  __m128i x1 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
  __m128i x2 = Load(p + 16), x3 = Load(p + 32), x4 = Load(p + 48);
  p += 64;
  length -= 64;
  for (; length >= 64; p += 64, length -= 64) {
    x1 = FoldOnto(x1, k1k2, Load(p));
    x2 = FoldOnto(x2, k1k2, Load(p + 16));
    x3 = FoldOnto(x3, k1k2, Load(p + 32));
    x4 = FoldOnto(x4, k1k2, Load(p + 48));
  }
  x1 = FoldOnto(x1, k3k4, x2);
  x1 = FoldOnto(x1, k3k4, x3);
  x1 = FoldOnto(x1, k3k4, x4);
  for (; length >= 16; p += 16, length -= 16) x1 = FoldOnto(x1, k3k4, Load(p));

  // 128 bits to 64.
  __m128i x = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, k3k4, 0x10));
  x = _mm_xor_si128(_mm_srli_si128(x, 4), _mm_clmulepi64_si128(_mm_and_si128(x, low32), k5, 0x00));
  // Barrett reduction to 32 bits.
  __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x, low32), poly, 0x10);
  t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), poly, 0x00);
  return static_cast<uint32_t>(_mm_extract_epi32(_mm_xor_si128(x, t), 1));
}

bool DetectCarrylessMultiply() {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
  return (ecx & bit_PCLMUL) != 0 && (ecx & bit_SSE4_1) != 0;
}

}  // namespace

bool Crc32Accelerated() {
  static const bool supported = DetectCarrylessMultiply();
  return supported;
}

uint32_t Crc32(uint32_t crc, const void* data, size_t length) {
  const auto* p = static_cast<const uint8_t*>(data);
  if (length >= 64 && Crc32Accelerated()) {
    size_t bulk = length & ~size_t{15};
    crc = ~Fold(p, bulk, ~crc);
    p += bulk;
    length -= bulk;
  }
  return length ? Crc32Portable(crc, p, length) : crc;
}

#else

bool Crc32Accelerated() { return false; }

uint32_t Crc32(uint32_t crc, const void* data, size_t length) { return Crc32Portable(crc, data, length); }

#endif

}  // namespace base
