// The translations between GDI+ pixel formats and the framework's, and the size a
// picture shows on the screen.
#pragma once

#include <cstdint>

#include "imaging/GdiplusApi.h"
#include "ui/Graphic.h"

namespace imaging {

// 16-bit RGB/ARGB/grey → pf16bit, 24 bpp → pf24bit, 32 bpp (A)RGB and PARGB → pf32bit,
// 1/4/8 bpp indexed → pf1bit/pf4bit/pf8bit, anything else → pfCustom.
ui::TPixelFormat FromGdiplusPixelFormat(Gdiplus::PixelFormat format);
// pf1bit/4/8 → indexed, pf15bit/pf16bit → 16 bpp RGB555, pf24bit → 24 bpp RGB, pf32bit →
// 32 bpp ARGB, pfCustom → 48 bpp RGB, pfDevice → 0.
Gdiplus::PixelFormat ToGdiplusPixelFormat(ui::TPixelFormat format);

// The size a picture takes on a screen of screenDpi pixels per inch. A picture with a
// real pixel size (every raster picture) shows that size. One that only knows its
// resolution (a metafile) is scaled: pixels × screenDpi / round(resolution), rounded.
// A resolution below 0.5 dpi counts as the screen's (no division by zero).
struct TScreenSize {
  int32_t Width;
  int32_t Height;
};
TScreenSize ScreenSize(uint32_t imageFlags, uint32_t pixelWidth, uint32_t pixelHeight, float horizontalDpi,
                       float verticalDpi, int32_t screenDpi);
// The screen's vertical pixels per inch (used for both directions).
int32_t ScreenPixelsPerInch();

}  // namespace imaging
