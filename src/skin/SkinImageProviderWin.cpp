// The Windows image provider: .bmp files through the portable decoder (24 and 32 bits
// per pixel, alpha kept) and the rest of the BMP formats (palettes, 16 bits per pixel)
// through the platform bitmap as 24 bits per pixel; every other format through GDI+ (the
// imaging library's classes). GDI+ must be started (the imaging unit's session); without
// it every such image is missing.
#include <windows.h>

#include <cstring>
#include <vector>

#include "base/Strings.h"
#include "imaging/GPPictures.h"
#include "imaging/GdiplusObjects.h"
#include "skin/SkinImages.h"
#include "ui/Bitmap.h"
#include "ui/GdiHandles.h"

namespace skin {

namespace {

constexpr uint32_t kMaxSide = 16384;

// A picture of the imaging library, for kind ikPicture requests.
class TSkinPicture final : public TSkinImageObject {
 public:
  explicit TSkinPicture(std::unique_ptr<imaging::TGPGraphic> graphic) : FGraphic(std::move(graphic)) {}
  int32_t Kind() const override { return ikPicture; }
  imaging::TGPGraphic& Graphic() const { return *FGraphic; }

 private:
  std::unique_ptr<imaging::TGPGraphic> FGraphic;
};

// Decodes through GDI+ into 32-bit pixels; 24 bits per pixel unless the image says it
// has an alpha channel. A multi-frame picture is no bitmap: null.
std::unique_ptr<TSkinBitmap> DecodeWithGdiplus(const std::string& path) {
  imaging::TGPBitmap image(base::AnsiToWide(path));
  if (image.GetFrameDimensionsCount() > 1) return nullptr;
  uint32_t width = image.GetWidth(), height = image.GetHeight();
  if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) return nullptr;
  bool alpha = (image.GetFlags() & Gdiplus::ImageFlagsHasAlpha) != 0;
  Gdiplus::Rect rect(0, 0, static_cast<INT>(width), static_cast<INT>(height));
  Gdiplus::BitmapData data{};
  image.LockBits(rect, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, data);
  auto bitmap =
      std::make_unique<TSkinBitmap>(static_cast<int32_t>(width), static_cast<int32_t>(height), alpha ? 32 : 24);
  for (uint32_t y = 0; y < height; ++y) {
    const auto* row = static_cast<const uint8_t*>(data.Scan0) + static_cast<intptr_t>(y) * data.Stride;
    uint8_t* out = bitmap->Pixel(0, static_cast<int32_t>(y));
    std::memcpy(out, row, static_cast<size_t>(width) * 4);
    if (!alpha)
      for (uint32_t x = 0; x < width; ++x) out[x * 4 + 3] = 255;
  }
  image.UnlockBits(data);
  return bitmap;
}

// A BMP file through the platform bitmap (any format it reads), as 24 bits per pixel.
// Raises when the file is missing or not a valid BMP.
std::unique_ptr<TSkinBitmap> DecodeWithPlatformBitmap(const std::string& path) {
  ui::TBitmap platformBitmap;
  platformBitmap.LoadFromFile(base::AnsiToWide(path));
  const int32_t width = platformBitmap.Width(), height = platformBitmap.Height();
  if (width <= 0 || height <= 0 || width > static_cast<int32_t>(kMaxSide) || height > static_cast<int32_t>(kMaxSide))
    return nullptr;
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
  // GetDIBits wants the bitmap out of every device context.
  ui::TOwnedBitmap handle(platformBitmap.ReleaseHandle());
  ui::TOwnedDC dc(CreateCompatibleDC(nullptr));
  if (GetDIBits(dc.Get(), handle.Get(), 0, static_cast<UINT>(height), pixels.data(), &bi, DIB_RGB_COLORS) != height)
    return nullptr;
  auto bitmap = std::make_unique<TSkinBitmap>(width, height, 24);
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x)
      std::memcpy(bitmap->Pixel(x, y), &pixels[(static_cast<size_t>(y) * width + x) * 4], 3);
  return bitmap;
}

class TGdiplusSkinImageProvider : public ISkinImageProvider {
 public:
  std::unique_ptr<TSkinImageObject> Load(const std::string& path, const std::string& type, int32_t kind) override {
    if (kind == ikBitmap && (type.empty() || base::SameText(type, "bmp"))) {
      if (auto bitmap = FBmp.Load(path, type, kind)) return bitmap;
      try {
        return DecodeWithPlatformBitmap(path);
      } catch (...) {
        return nullptr;  // missing or not a BMP at all
      }
    }
    try {
      if (kind != ikBitmap) {
        auto picture = std::make_unique<imaging::TPNGImage>();
        picture->LoadFromFile(base::AnsiToWide(path));
        return std::make_unique<TSkinPicture>(std::move(picture));
      }
      return DecodeWithGdiplus(path);
    } catch (...) {
      return nullptr;  // a file GDI+ cannot read is a missing image
    }
  }

 private:
  TBmpImageProvider FBmp;
};

}  // namespace

std::unique_ptr<ISkinImageProvider> CreateDefaultSkinImageProvider() {
  return std::make_unique<TGdiplusSkinImageProvider>();
}

}  // namespace skin
