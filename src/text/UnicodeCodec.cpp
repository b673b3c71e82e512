#include "text/UnicodeCodec.h"

#include <cstring>

// The SSE2 form of the ASCII copy exists on every x86 build; a build for processors
// without SSE2 (the 32-bit product) compiles it for SSE2 alone and takes it only where
// CPUID reports SSE2.
#if defined(__SSE2__)
#define TEXT_HAVE_SSE2 1
#define TEXT_SSE2_TARGET
#elif defined(__i386__) || defined(__x86_64__)
#define TEXT_HAVE_SSE2 1
#define TEXT_SSE2_TARGET __attribute__((target("sse2")))
#include <cpuid.h>
#else
#define TEXT_HAVE_SSE2 0
#endif
#if TEXT_HAVE_SSE2
#include <emmintrin.h>
#endif

namespace text {
namespace {

constexpr bool IsHigh(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
constexpr bool IsLow(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }
constexpr bool IsCont(uint8_t b) { return (b & 0xC0) == 0x80; }

#if defined(__SSE2__)
constexpr bool gHasSse2 = true;
#elif TEXT_HAVE_SSE2
bool DetectSse2() {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  return __get_cpuid(1, &eax, &ebx, &ecx, &edx) && (edx & bit_SSE2) != 0;
}
// Read at start-up; false before that, which only means the plain form runs.
const bool gHasSse2 = DetectSse2();
#endif

#if TEXT_HAVE_SSE2
// Sixteen ASCII bytes at a time while sixteen remain and are all ASCII; how many.
TEXT_SSE2_TARGET size_t CopyAsciiSse2(const uint8_t* in, size_t n, char16_t* out) {
  size_t k = 0;
  const __m128i zero = _mm_setzero_si128();
  while (k + 16 <= n) {
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + k));
    if (_mm_movemask_epi8(b)) break;  // a byte with its top bit set
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), _mm_unpacklo_epi8(b, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k + 8), _mm_unpackhi_epi8(b, zero));
    k += 16;
  }
  return k;
}
#endif

// Copies a run of ASCII bytes; returns how many. Most text is ASCII, so whole blocks
// are checked and widened at once.
size_t CopyAscii(const uint8_t* in, size_t n, char16_t* out) {
  size_t k = 0;
#if TEXT_HAVE_SSE2
  if (gHasSse2) k = CopyAsciiSse2(in, n, out);
#endif
  while (k + 8 <= n) {
    uint64_t w;
    std::memcpy(&w, in + k, 8);
    if (w & 0x8080808080808080ull) break;
    for (size_t j = 0; j < 8; ++j) out[k + j] = in[k + j];
    k += 8;
  }
  while (k < n && in[k] < 0x80) {
    out[k] = in[k];
    ++k;
  }
  return k;
}

// The code point at in[i] for an encoder: a pair joined, a lone half as U+FFFD. False
// when in[i] is a high surrogate at the end of a piece that is not the last.
bool NextCodePoint(const char16_t* in, size_t inLen, size_t i, bool final, uint32_t& cp, size_t& used) {
  cp = in[i];
  used = 1;
  if (IsHigh(in[i])) {
    if (i + 1 >= inLen && !final) return false;  // its low half may come with the next piece
    if (i + 1 < inLen && IsLow(in[i + 1])) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (in[i + 1] - 0xDC00u);
      used = 2;
    } else {
      cp = kReplacementChar;
    }
  } else if (IsLow(in[i])) {
    cp = kReplacementChar;
  }
  return true;
}

}  // namespace

TCodecStep DecodeUtf8(const uint8_t* in, size_t inLen, char16_t* out, size_t outCap, bool final) {
  size_t i = 0, o = 0;
  while (i < inLen && o < outCap) {
    uint8_t c = in[i];
    if (c < 0x80) {
      size_t n = inLen - i < outCap - o ? inLen - i : outCap - o;
      size_t k = CopyAscii(in + i, n, out + o);
      i += k;
      o += k;
      continue;
    }
    // Length and the allowed range of the second byte, which rules out overlong forms,
    // code points above U+10FFFF and (for E0) everything but E0 80 80.
    size_t need;
    uint8_t lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
      need = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      need = 3;
      if (c == 0xE0 && !(i + 1 < inLen && in[i + 1] == 0x80)) lo = 0xA0;
    } else if (c >= 0xF0 && c <= 0xF4) {
      need = 4;
      if (c == 0xF0) lo = 0x90;
      if (c == 0xF4) hi = 0x8F;
    } else {
      out[o++] = kReplacementChar;  // a continuation byte or a lead byte no sequence has
      ++i;
      continue;
    }
    size_t k = 1;  // bytes of the sequence found valid so far
    bool broken = false;
    while (k < need) {
      if (i + k >= inLen) break;
      uint8_t b = in[i + k];
      bool ok = k == 1 ? b >= lo && b <= hi : IsCont(b);
      if (c == 0xE0 && lo == 0x80 && k == 2) ok = b == 0x80;  // only E0 80 80 of the overlong forms
      if (!ok) {
        broken = true;
        break;
      }
      ++k;
    }
    if (k < need && !broken) {  // cut by the end of the input
      if (!final) break;
      out[o++] = kReplacementChar;
      i += k;
      continue;
    }
    if (broken) {
      out[o++] = kReplacementChar;
      i += k;
      continue;
    }
    uint32_t cp;
    switch (need) {
      case 2: cp = (c & 0x1Fu) << 6 | (in[i + 1] & 0x3Fu); break;
      case 3: cp = (c & 0x0Fu) << 12 | (in[i + 1] & 0x3Fu) << 6 | (in[i + 2] & 0x3Fu); break;
      default:
        cp = (c & 0x07u) << 18 | (in[i + 1] & 0x3Fu) << 12 | (in[i + 2] & 0x3Fu) << 6 | (in[i + 3] & 0x3Fu);
        if (outCap - o < 2) return {i, o};
        cp -= 0x10000;
        out[o++] = static_cast<char16_t>(0xD800 + (cp >> 10));
        out[o++] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        i += 4;
        continue;
    }
    out[o++] = static_cast<char16_t>(cp);
    i += need;
  }
  return {i, o};
}

TCodecStep EncodeUtf8(const char16_t* in, size_t inLen, uint8_t* out, size_t outCap, bool final) {
  size_t i = 0, o = 0;
  while (i < inLen) {
    if (in[i] < 0x80) {
      if (o >= outCap) break;
      out[o++] = static_cast<uint8_t>(in[i++]);
      continue;
    }
    uint32_t c;
    size_t used;
    if (!NextCodePoint(in, inLen, i, final, c, used)) break;
    if (c < 0x800) {
      if (outCap - o < 2) break;
      out[o++] = static_cast<uint8_t>(0xC0 | (c >> 6));
      out[o++] = static_cast<uint8_t>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      if (outCap - o < 3) break;
      out[o++] = static_cast<uint8_t>(0xE0 | (c >> 12));
      out[o++] = static_cast<uint8_t>(0x80 | ((c >> 6) & 0x3F));
      out[o++] = static_cast<uint8_t>(0x80 | (c & 0x3F));
    } else {
      if (outCap - o < 4) break;
      out[o++] = static_cast<uint8_t>(0xF0 | (c >> 18));
      out[o++] = static_cast<uint8_t>(0x80 | ((c >> 12) & 0x3F));
      out[o++] = static_cast<uint8_t>(0x80 | ((c >> 6) & 0x3F));
      out[o++] = static_cast<uint8_t>(0x80 | (c & 0x3F));
    }
    i += used;
  }
  return {i, o};
}

TCodecStep DecodeUtf32(const uint8_t* in, size_t inLen, char16_t* out, size_t outCap, bool final, bool reversed) {
  size_t i = 0, o = 0;
  while (inLen - i >= 4 && o < outCap) {
    uint32_t v = reversed ? static_cast<uint32_t>(in[i] << 8 | in[i + 1] | in[i + 2] << 24 | in[i + 3] << 16)
                          : static_cast<uint32_t>(in[i] | in[i + 1] << 8 | in[i + 2] << 16 | in[i + 3] << 24);
    if (v <= 0xFFFF) {
      out[o++] = static_cast<char16_t>(v);
    } else if (v <= 0x10FFFF) {
      if (outCap - o < 2) break;
      v -= 0x10000;
      out[o++] = static_cast<char16_t>(0xD800 + (v >> 10));
      out[o++] = static_cast<char16_t>(0xDC00 + (v & 0x3FF));
    } else {
      out[o++] = kReplacementChar;
    }
    i += 4;
  }
  if (final && i < inLen && inLen - i < 4 && o < outCap) {  // a cut unit at the very end
    out[o++] = kReplacementChar;
    i = inLen;
  }
  return {i, o};
}

TCodecStep EncodeUtf32(const char16_t* in, size_t inLen, uint8_t* out, size_t outCap, bool final) {
  size_t i = 0, o = 0;
  while (i < inLen && outCap - o >= 4) {
    uint32_t c;
    size_t used;
    if (!NextCodePoint(in, inLen, i, final, c, used)) break;
    out[o++] = static_cast<uint8_t>(c);
    out[o++] = static_cast<uint8_t>(c >> 8);
    out[o++] = static_cast<uint8_t>(c >> 16);
    out[o++] = 0;
    i += used;
  }
  return {i, o};
}

TCodecStep DecodeUtf16Swapped(const uint8_t* in, size_t inLen, char16_t* out, size_t outCap, bool final) {
  size_t i = 0, o = 0;
  while (inLen - i >= 2 && o < outCap) {
    out[o++] = static_cast<char16_t>(in[i] << 8 | in[i + 1]);
    i += 2;
  }
  if (final && inLen - i == 1 && o < outCap) {
    out[o++] = kReplacementChar;
    i = inLen;
  }
  return {i, o};
}

}  // namespace text
