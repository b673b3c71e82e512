// The text stream's own coders for the Unicode code pages: UTF-8, UTF-32LE and UTF-16
// with swapped bytes. Plain functions over buffers, a piece at a time: each converts as
// much as fits and reports what it used; a sequence cut by the end of the input is left
// unconsumed unless final is set.
//
// Reading UTF-8: a 4-byte sequence gives a surrogate pair; a byte that starts no valid
// sequence, or the valid beginning of a sequence that breaks off, gives one U+FFFD and
// decoding resumes at the next byte that was not part of it. E0 80 80 reads as U+0000
// and ED A0 80 .. ED BF BF read as the surrogate code units they spell, because files
// written by earlier versions of the product hold both.
// Writing UTF-8: a surrogate pair is one 4-byte sequence; a lone surrogate is U+FFFD.
#pragma once

#include <cstddef>
#include <cstdint>

namespace text {

struct TCodecStep {
  size_t InUsed = 0;
  size_t OutUsed = 0;
};

constexpr char16_t kReplacementChar = 0xFFFD;

// Output is never more UTF-16 units than input bytes; outCap >= 2 guarantees progress.
TCodecStep DecodeUtf8(const uint8_t* in, size_t inLen, char16_t* out, size_t outCap, bool final);
// At most 3 bytes per unit; outCap >= 4 guarantees progress.
TCodecStep EncodeUtf8(const char16_t* in, size_t inLen, uint8_t* out, size_t outCap, bool final);

// UTF-32: each 4 bytes give one unit, or a surrogate pair above U+FFFF; values above
// U+10FFFF give U+FFFD; surrogate values pass through as units (earlier versions wrote
// each unit of a pair on its own). reversed reads the two bytes of each 16-bit half
// swapped (the layout the mark FE FF 00 00 announces).
TCodecStep DecodeUtf32(const uint8_t* in, size_t inLen, char16_t* out, size_t outCap, bool final, bool reversed);
// A surrogate pair is one 4-byte unit; a lone surrogate is U+FFFD.
TCodecStep EncodeUtf32(const char16_t* in, size_t inLen, uint8_t* out, size_t outCap, bool final);

// UTF-16 with the bytes of every unit swapped (big-endian input on our little-endian
// hosts); a final odd byte gives U+FFFD.
TCodecStep DecodeUtf16Swapped(const uint8_t* in, size_t inLen, char16_t* out, size_t outCap, bool final);

}  // namespace text
