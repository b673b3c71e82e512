#include "TestPictures.h"

#include <algorithm>

namespace quantize::test {

TPicture MakeGradient(int32_t width, int32_t height) {
  TPicture p{width, height, {}};
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x)
      p.Pixels.push_back(MakeArgb(255, static_cast<uint8_t>(x * 255 / (width - 1)),
                                  static_cast<uint8_t>(y * 255 / (height - 1)),
                                  static_cast<uint8_t>((x + y) * 255 / (width + height - 2))));
  return p;
}

TPicture MakePhoto(int32_t width, int32_t height) {
  TPicture p{width, height, {}};
  uint32_t state = 0x2545F491;
  auto noise = [&state] {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return static_cast<int32_t>((state >> 24) % 17) - 8;
  };
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) {
      const int32_t u = x * 64 / width, v = y * 48 / height;
      const int32_t d2 = (u - 40) * (u - 40) + (v - 12) * (v - 12);
      int32_t base[3];
      if (d2 < 100) {
        base[0] = 255, base[1] = 220 - d2, base[2] = 120;
      } else if (v > 30 - u * (63 - u) / 128) {
        base[0] = 60 + u, base[1] = 120 + (v - 30) * 3, base[2] = 40;
      } else {
        base[0] = 90 + v * 2, base[1] = 140 + v, base[2] = 230 - v;
      }
      uint8_t c[3];
      for (int i = 0; i < 3; ++i) c[i] = static_cast<uint8_t>(std::clamp(base[i] + noise(), 0, 255));
      p.Pixels.push_back(MakeArgb(x == 0 && y % 8 == 0 ? 0 : 255, c[0], c[1], c[2]));
    }
  return p;
}

TLockedRows::TLockedRows(int32_t width, int32_t height, int32_t bytesPerPixel, int32_t padding, bool bottomUp) {
  const ptrdiff_t stride = static_cast<ptrdiff_t>(width) * bytesPerPixel + padding;
  FMemory.assign(static_cast<size_t>(stride * height), 0xCD);
  FRows.Width = width;
  FRows.Height = height;
  FRows.Stride = bottomUp ? -stride : stride;
  FRows.Scan0 = bottomUp && height > 0 ? FMemory.data() + stride * (height - 1) : FMemory.data();
}

void TLockedRows::Load(const TPicture& picture) {
  for (int32_t y = 0; y < picture.Height; ++y)
    for (int32_t x = 0; x < picture.Width; ++x)
      StorePixel(FRows.Row(y), x, picture.Pixels[static_cast<size_t>(y) * picture.Width + x]);
}

}  // namespace quantize::test
