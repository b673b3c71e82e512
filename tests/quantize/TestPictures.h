// Test pictures built from integer recipes, the same ones data/make_golden.py uses.
#pragma once

#include <cstdint>
#include <vector>

#include "quantize/PixelRows.h"

namespace quantize::test {

// Top-down 32-bit ARGB pixels, row after row.
struct TPicture {
  int32_t Width = 0, Height = 0;
  std::vector<uint32_t> Pixels;
};

// Red grows to the right, green downwards, blue along the diagonal.
TPicture MakeGradient(int32_t width, int32_t height);
// Sky, a sun disc and a hill with per-pixel noise; every eighth pixel of column 0 is
// transparent.
TPicture MakePhoto(int32_t width, int32_t height);

// Rows in memory the way a locked bitmap hands them out: `padding` spare bytes after each
// row, bottom-up (negative stride) when asked.
class TLockedRows {
 public:
  TLockedRows(int32_t width, int32_t height, int32_t bytesPerPixel, int32_t padding, bool bottomUp);
  TPixelRows Rows() { return FRows; }
  void Load(const TPicture& picture);  // 32-bit rows only
  uint32_t Pixel(int32_t x, int32_t y) const { return LoadPixel(FRows.Row(y), x); }
  uint8_t Index(int32_t x, int32_t y) const { return FRows.Row(y)[x]; }

 private:
  std::vector<uint8_t> FMemory;
  TPixelRows FRows;
};

}  // namespace quantize::test
