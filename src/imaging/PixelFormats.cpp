#include "imaging/PixelFormats.h"

#include <cmath>

#include "ui/GdiHandles.h"

namespace imaging {

ui::TPixelFormat FromGdiplusPixelFormat(Gdiplus::PixelFormat format) {
  switch (format) {
    case PixelFormat16bppRGB555:
    case PixelFormat16bppRGB565:
    case PixelFormat16bppARGB1555:
    case PixelFormat16bppGrayScale: return ui::TPixelFormat::pf16bit;
    case PixelFormat24bppRGB: return ui::TPixelFormat::pf24bit;
    case PixelFormat32bppRGB:
    case PixelFormat32bppARGB:
    case PixelFormat32bppPARGB: return ui::TPixelFormat::pf32bit;
    case PixelFormat1bppIndexed: return ui::TPixelFormat::pf1bit;
    case PixelFormat4bppIndexed: return ui::TPixelFormat::pf4bit;
    case PixelFormat8bppIndexed: return ui::TPixelFormat::pf8bit;
    default: return ui::TPixelFormat::pfCustom;
  }
}

Gdiplus::PixelFormat ToGdiplusPixelFormat(ui::TPixelFormat format) {
  switch (format) {
    case ui::TPixelFormat::pf1bit: return PixelFormat1bppIndexed;
    case ui::TPixelFormat::pf4bit: return PixelFormat4bppIndexed;
    case ui::TPixelFormat::pf8bit: return PixelFormat8bppIndexed;
    case ui::TPixelFormat::pf15bit:
    case ui::TPixelFormat::pf16bit: return PixelFormat16bppRGB555;
    case ui::TPixelFormat::pf24bit: return PixelFormat24bppRGB;
    case ui::TPixelFormat::pf32bit: return PixelFormat32bppARGB;
    case ui::TPixelFormat::pfCustom: return PixelFormat48bppRGB;
    default: return 0;
  }
}

namespace {
int32_t Scale(uint32_t pixels, int32_t screenDpi, float dpi) {
  // Below half a dot per inch the rounded resolution would be 0: take the screen's.
  int32_t resolution = dpi < 0.5f || !std::isfinite(dpi) ? screenDpi : static_cast<int32_t>(std::lround(dpi));
  if (resolution <= 0) return static_cast<int32_t>(pixels);
  return MulDiv(static_cast<int>(pixels), screenDpi, resolution);
}
}  // namespace

TScreenSize ScreenSize(uint32_t imageFlags, uint32_t pixelWidth, uint32_t pixelHeight, float horizontalDpi,
                       float verticalDpi, int32_t screenDpi) {
  if (!(imageFlags & Gdiplus::ImageFlagsHasRealPixelSize) && (imageFlags & Gdiplus::ImageFlagsHasRealDPI))
    return {Scale(pixelWidth, screenDpi, horizontalDpi), Scale(pixelHeight, screenDpi, verticalDpi)};
  return {static_cast<int32_t>(pixelWidth), static_cast<int32_t>(pixelHeight)};
}

int32_t ScreenPixelsPerInch() { return ui::ScreenPixelsPerInch(); }

}  // namespace imaging
