// A locked block of pixel rows as the quantizer sees it: 32-bit ARGB pixels (bytes blue,
// green, red, alpha in memory) or 8-bit palette indices. The rows belong to the caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace quantize {

struct TPixelRows {
  uint8_t* Scan0 = nullptr;  // first byte of row 0
  int32_t Width = 0;         // pixels per row
  int32_t Height = 0;        // rows
  ptrdiff_t Stride = 0;      // bytes from one row to the next; negative for bottom-up memory

  uint8_t* Row(int32_t y) const { return Scan0 + static_cast<ptrdiff_t>(y) * Stride; }
};

inline uint32_t LoadPixel(const uint8_t* row, int32_t x) {
  uint32_t pixel;
  std::memcpy(&pixel, row + static_cast<size_t>(x) * 4, sizeof pixel);
  return pixel;
}

inline void StorePixel(uint8_t* row, int32_t x, uint32_t pixel) {
  std::memcpy(row + static_cast<size_t>(x) * 4, &pixel, sizeof pixel);
}

inline uint8_t RedOf(uint32_t argb) { return static_cast<uint8_t>(argb >> 16); }
inline uint8_t GreenOf(uint32_t argb) { return static_cast<uint8_t>(argb >> 8); }
inline uint8_t BlueOf(uint32_t argb) { return static_cast<uint8_t>(argb); }
inline uint32_t MakeArgb(uint8_t alpha, uint8_t red, uint8_t green, uint8_t blue) {
  return uint32_t{alpha} << 24 | uint32_t{red} << 16 | uint32_t{green} << 8 | blue;
}

}  // namespace quantize
