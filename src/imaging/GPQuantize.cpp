#include "imaging/GPQuantize.h"

#include <span>
#include <vector>

namespace imaging {
namespace {

quantize::TPixelRows Rows(const Gdiplus::BitmapData& data) {
  return {static_cast<uint8_t*>(data.Scan0), static_cast<int32_t>(data.Width), static_cast<int32_t>(data.Height),
          static_cast<ptrdiff_t>(data.Stride)};
}

// Unlocks on every way out of the scope.
class TBitsLock {
 public:
  TBitsLock(TGPBitmap& bitmap, uint32_t flags, Gdiplus::PixelFormat format) : FBitmap(bitmap) {
    Gdiplus::Rect all(0, 0, static_cast<INT>(bitmap.GetWidth()), static_cast<INT>(bitmap.GetHeight()));
    bitmap.LockBits(all, flags, format, FData);
  }
  ~TBitsLock() {
    try {
      FBitmap.UnlockBits(FData);
    } catch (...) {
    }
  }
  TBitsLock(const TBitsLock&) = delete;
  TBitsLock& operator=(const TBitsLock&) = delete;
  const Gdiplus::BitmapData& Data() const { return FData; }

 private:
  TGPBitmap& FBitmap;
  Gdiplus::BitmapData FData{};
};

}  // namespace

std::unique_ptr<TGPBitmap> Quantize(quantize::TQuantizer& quantizer, TGPImage& source) {
  auto width = static_cast<int32_t>(source.GetWidth());
  auto height = static_cast<int32_t>(source.GetHeight());
  TGPBitmap argb(width, height, PixelFormat32bppARGB);
  auto indexed = std::make_unique<TGPBitmap>(width, height, PixelFormat8bppIndexed);
  {
    TGPGraphics graphics(argb);
    graphics.SetPageUnit(Gdiplus::UnitPixel);
    graphics.DrawImage(source, 0, 0, width, height);
  }
  // The platform's palette of a new 8-bit bitmap, with its entry count; the quantizer
  // fills the entries it uses and the transparent entry after them.
  std::vector<Gdiplus::ARGB> platform = indexed->GetPalette();
  std::vector<uint32_t> palette(platform.begin(), platform.end());
  if (palette.size() < 256) palette.resize(256, 0xFF000000);
  {
    // The chosen colours are written back over the work copy, so it is locked for both.
    TBitsLock colours(argb, Gdiplus::ImageLockModeRead | Gdiplus::ImageLockModeWrite, PixelFormat32bppARGB);
    TBitsLock indices(*indexed, Gdiplus::ImageLockModeWrite, PixelFormat8bppIndexed);
    quantize::QuantizeRows(quantizer, Rows(colours.Data()), std::span<uint32_t>(palette.data(), palette.size()),
                           Rows(indices.Data()));
  }
  indexed->SetPalette(std::vector<Gdiplus::ARGB>(palette.begin(), palette.end()));
  return indexed;
}

}  // namespace imaging
