// The loop of the wide paths, written once over the register: L is a set of operations
// on a register of L::kPixels pixels (BlendSSE2.cpp, BlendAVX2.cpp). Included only by
// those files, each compiled for its instruction set.
#pragma once

#include <cstdint>

namespace blend::wide {

// One register of pixels over the destination, with the bytes of the MMX form. Two
// pixels in each 128-bit half are widened to 16-bit lanes, as the MMX form holds one:
// (256 * B + 128 + w * (F - B)) >> 8 with w the pixel's alpha spread over its lanes,
// where 256 * B + 128 comes from interleaving the byte 0x80 below each byte of B. A
// clear pixel comes out as its destination ((256 * B + 128) >> 8 = B) and an opaque one
// is replaced by its source pixel, as on its own.
template <class L>
inline typename L::V OverGroup(typename L::V front, const uint32_t* dest) {
  using V = typename L::V;
  const V zero = L::Zero();
  const V back = L::Load(dest);
  const V rounding = L::Bytes(0x80);
  const V frontLow = L::UnpackLow(front, zero), frontHigh = L::UnpackHigh(front, zero);
  const V low =
      L::Mix(frontLow, L::UnpackLow(back, zero), L::UnpackLow(rounding, back), L::WeightsLow(front, frontLow));
  const V high =
      L::Mix(frontHigh, L::UnpackHigh(back, zero), L::UnpackHigh(rounding, back), L::WeightsHigh(front, frontHigh));
  return L::KeepOpaque(front, L::Pack(low, high));
}

// Blocks of 64 pixels (four cache lines) first: all clear are skipped, all opaque
// copied without reading the destination, and any other block is blended whole, register
// by register, without a test per register (its clear and opaque pixels come out right
// from the blend), so that art whose alpha changes every few pixels does not pay for
// mispredicted branches. Then single registers, clear ones skipped. The rows are read
// ahead, which keeps large pictures streaming from memory. Returns how many pixels it
// did: whole registers, as many as count holds.
template <class L>
inline int32_t OverMany(const uint32_t* source, uint32_t* dest, int32_t count) {
  using V = typename L::V;
  constexpr int32_t n = L::kPixels, block = 64, registers = block / n, line = 16;
  const V zero = L::Zero();
  const V ones = L::Ones();
  int32_t i = 0;
  for (; count - i >= block; i += block) {
    for (int32_t k = 0; k < block; k += line) {
      L::ReadAhead(source + i + L::kReadAhead + k);
      L::ReadAhead(dest + i + L::kReadAhead + k);
    }
    V any = zero, all = ones;
    for (int32_t r = 0; r < registers; ++r) {
      const V f = L::Load(source + i + r * n);
      any = L::Or(any, f);
      all = L::And(all, f);
    }
    if (L::AllAlpha(any, zero)) continue;
    if (L::AllAlpha(all, ones)) {
      for (int32_t r = 0; r < registers; ++r) L::Store(dest + i + r * n, L::Load(source + i + r * n));
      continue;
    }
    for (int32_t r = 0; r < registers; ++r)
      L::Store(dest + i + r * n, OverGroup<L>(L::Load(source + i + r * n), dest + i + r * n));
  }
  for (; count - i >= n; i += n) {
    const V front = L::Load(source + i);
    if (!L::AllAlpha(front, zero)) L::Store(dest + i, OverGroup<L>(front, dest + i));
  }
  return i;
}

}  // namespace blend::wide
