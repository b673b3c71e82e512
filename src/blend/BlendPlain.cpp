#include "blend/BlendPlain.h"

#include <algorithm>

#include "blend/BlendGroups.h"

namespace blend {

namespace {

// Blends two channels at once in one 32-bit word (blue with red, or green with alpha,
// each in the low byte of a 16-bit half). A product plus the rounding term stays below
// 65536 and the two rounded halves add up to at most 255, so no half carries into the next.
inline uint32_t MixPair(uint32_t sourcePair, uint32_t destPair, uint32_t weight) {
  const uint32_t front = ((sourcePair * weight + 0x00800080u) >> 8) & 0x00FF00FFu;
  const uint32_t back = ((destPair * (255 - weight) + 0x00800080u) >> 8) & 0x00FF00FFu;
  return front + back;
}

inline uint32_t Mix(uint32_t source, uint32_t dest, uint32_t weight) {
  const uint32_t blueRed = MixPair(source & 0x00FF00FFu, dest & 0x00FF00FFu, weight);
  const uint32_t greenAlpha = MixPair((source >> 8) & 0x00FF00FFu, (dest >> 8) & 0x00FF00FFu, weight);
  return blueRed | (greenAlpha << 8);
}

// 1..254 blend; then 255 copies and 0 leaves the destination.
inline uint32_t OverPixel(uint32_t pixel, uint32_t dest) {
  const uint32_t alpha = pixel >> 24;
  if (alpha - 1 < 254) return Mix(pixel, dest, alpha);
  return alpha != 0 ? pixel : dest;
}

}  // namespace

void BlendLineOverPlain(const uint32_t* source, uint32_t* dest, int32_t count) {
  OverInGroupsOfFour(source, dest, count, 0, [](uint32_t pixel, uint32_t& d) { d = OverPixel(pixel, d); });
}

void BlendLineOverMasterPlain(const uint32_t* source, uint32_t* dest, int32_t count, uint8_t master) {
  for (int32_t i = 0; i < count; ++i) {
    const uint32_t pixel = source[i];
    const uint32_t weight = ((master + 1u) * (pixel >> 24)) >> 8;
    if (weight == 0) continue;  // also every pixel of alpha 0
    // The alpha byte is dropped on purpose: this form has always written 0 there.
    dest[i] = (weight == 255 ? pixel : Mix(pixel, dest[i], weight)) & 0x00FFFFFFu;
  }
}

void BlendLineConstantPlain(const uint32_t* source, uint32_t* dest, int32_t count, int32_t bias, uint8_t alpha) {
  const uint32_t keep = 256u - alpha;
  bias = std::clamp(bias, -255, 255);  // any bias beyond gives the same clamped bytes
  for (int32_t i = 0; i < count; ++i) {
    const uint32_t front = source[i], back = dest[i];
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
      const int32_t t =
          static_cast<int32_t>((((back >> shift) & 0xFF) * keep + alpha * ((front >> shift) & 0xFF)) >> 8);
      out |= static_cast<uint32_t>(std::clamp(t + bias, 0, 255)) << shift;
    }
    dest[i] = out;
  }
}

}  // namespace blend
