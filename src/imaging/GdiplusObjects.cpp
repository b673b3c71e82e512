#include "imaging/GdiplusObjects.h"

namespace imaging {

namespace flat = Gdiplus::DllExports;

static const WCHAR* W(const std::u16string& s) { return reinterpret_cast<const WCHAR*>(s.c_str()); }

TGPImage::~TGPImage() {
  if (FNativeImage) flat::GdipDisposeImage(FNativeImage);
}

uint32_t TGPImage::GetWidth() {
  UINT w = 0;
  Check(flat::GdipGetImageWidth(FNativeImage, &w));
  return w;
}

uint32_t TGPImage::GetHeight() {
  UINT h = 0;
  Check(flat::GdipGetImageHeight(FNativeImage, &h));
  return h;
}

TGPBitmap::TGPBitmap(const std::u16string& fileName, bool useICM) {
  Gdiplus::GpBitmap* bitmap = nullptr;
  Check(useICM ? flat::GdipCreateBitmapFromFileICM(W(fileName), &bitmap)
               : flat::GdipCreateBitmapFromFile(W(fileName), &bitmap));
  FNativeImage = bitmap;
}

TGPBitmap::TGPBitmap(int32_t width, int32_t height, Gdiplus::PixelFormat format) {
  Gdiplus::GpBitmap* bitmap = nullptr;
  Check(flat::GdipCreateBitmapFromScan0(width, height, 0, format, nullptr, &bitmap));
  FNativeImage = bitmap;
}

HBITMAP TGPBitmap::GetHBITMAP(Gdiplus::ARGB background) {
  HBITMAP result = nullptr;
  Check(flat::GdipCreateHBITMAPFromBitmap(NativeBitmap(), &result, background));
  return result;
}

Gdiplus::ARGB TGPBitmap::GetPixel(int32_t x, int32_t y) {
  Gdiplus::ARGB color = 0;
  Check(flat::GdipBitmapGetPixel(NativeBitmap(), x, y, &color));
  return color;
}

TGPFontFamily::TGPFontFamily(const std::u16string& name) {
  Check(flat::GdipCreateFontFamilyFromName(W(name), nullptr, &FNative));
}

TGPFontFamily::~TGPFontFamily() {
  if (FNative) flat::GdipDeleteFontFamily(FNative);
}

TGPFont::TGPFont(const TGPFontFamily& family, float emSize, int32_t style, Gdiplus::Unit unit) {
  Check(flat::GdipCreateFont(family.NativeFamily(), emSize, style, unit, &FNative));
}

TGPFont::~TGPFont() {
  if (FNative) flat::GdipDeleteFont(FNative);
}

TGPBrush::~TGPBrush() {
  if (FNative) flat::GdipDeleteBrush(FNative);
}

TGPSolidBrush::TGPSolidBrush(Gdiplus::ARGB color) {
  Gdiplus::GpSolidFill* fill = nullptr;
  Check(flat::GdipCreateSolidFill(color, &fill));
  FNative = fill;
}

TGPGraphics::TGPGraphics(HDC dc) { Check(flat::GdipCreateFromHDC(dc, &FNative)); }

TGPGraphics::TGPGraphics(TGPImage& image) { Check(flat::GdipGetImageGraphicsContext(image.NativeImage(), &FNative)); }

TGPGraphics::~TGPGraphics() {
  if (FNative) flat::GdipDeleteGraphics(FNative);
}

void TGPGraphics::SetTextRenderingHint(Gdiplus::TextRenderingHint hint) {
  Check(flat::GdipSetTextRenderingHint(FNative, hint));
}

void TGPGraphics::Clear(Gdiplus::ARGB color) { Check(flat::GdipGraphicsClear(FNative, color)); }

void TGPGraphics::DrawString(const std::u16string& text, const TGPFont& font, const Gdiplus::RectF& layout,
                             const Gdiplus::GpStringFormat* format, const TGPBrush& brush) {
  Check(flat::GdipDrawString(FNative, W(text), static_cast<INT>(text.size()), font.NativeFont(), &layout, format,
                             brush.NativeBrush()));
}

}  // namespace imaging
