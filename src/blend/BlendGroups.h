// The walk both families of BlendLineOver share: groups of four pixels, all clear ones
// skipped and all opaque ones copied whole (anti-aliased art is mostly made of such
// runs), the others pixel by pixel; then the tail of up to three pixels one by one.
#pragma once

#include <cstdint>
#include <cstring>

namespace blend {

// From pixel `start` to the end of the row; over(pixel, dest) blends one pixel.
template <class F>
inline void OverInGroupsOfFour(const uint32_t* source, uint32_t* dest, int32_t count, int32_t start, F&& over) {
  int32_t i = start;
  for (; count - i >= 4; i += 4) {
    const uint32_t p0 = source[i], p1 = source[i + 1], p2 = source[i + 2], p3 = source[i + 3];
    if (((p0 | p1 | p2 | p3) >> 24) == 0) continue;
    if (((p0 & p1 & p2 & p3) >> 24) == 0xFF) {
      std::memcpy(dest + i, source + i, 4 * sizeof(uint32_t));
      continue;
    }
    for (int32_t k = i; k < i + 4; ++k) over(source[k], dest[k]);
  }
  for (; i < count; ++i) over(source[i], dest[i]);
}

}  // namespace blend
