// Thin owners of GDI+ handles: images and bitmaps, graphics, font families, fonts and
// solid brushes. Each releases its handle when destroyed and raises the status
// exception of GdiplusBase.h when a call fails. GUI thread only; GDI+ must be started.
#pragma once

#include <string>

#include "imaging/GdiplusApi.h"
#include "imaging/GdiplusBase.h"

namespace imaging {

class TGPImage : public TGdiplusBase {
 public:
  ~TGPImage() override;
  Gdiplus::GpImage* NativeImage() const { return FNativeImage; }
  uint32_t GetWidth();
  uint32_t GetHeight();

 protected:
  TGPImage() = default;
  Gdiplus::GpImage* FNativeImage = nullptr;
};

class TGPBitmap : public TGPImage {
 public:
  // Decodes a picture file; useICM applies its embedded colour profile.
  TGPBitmap(const std::u16string& fileName, bool useICM = false);
  // A new bitmap of the size and GDI+ pixel format (32 bpp ARGB by default).
  TGPBitmap(int32_t width, int32_t height, Gdiplus::PixelFormat format = PixelFormat32bppARGB);

  Gdiplus::GpBitmap* NativeBitmap() const { return reinterpret_cast<Gdiplus::GpBitmap*>(FNativeImage); }
  // A new 32-bit GDI bitmap of the picture composed over the background colour (ARGB);
  // the caller owns it.
  HBITMAP GetHBITMAP(Gdiplus::ARGB background);
  Gdiplus::ARGB GetPixel(int32_t x, int32_t y);
};

class TGPFontFamily : public TGdiplusBase {
 public:
  // An installed family; a name that is not installed raises "GdiplusFontFamilyNotFound"
  // (there is no fallback to another family).
  explicit TGPFontFamily(const std::u16string& name);
  ~TGPFontFamily() override;
  Gdiplus::GpFontFamily* NativeFamily() const { return FNative; }

 private:
  Gdiplus::GpFontFamily* FNative = nullptr;
};

class TGPFont : public TGdiplusBase {
 public:
  TGPFont(const TGPFontFamily& family, float emSize, int32_t style = Gdiplus::FontStyleRegular,
          Gdiplus::Unit unit = Gdiplus::UnitPoint);
  ~TGPFont() override;
  Gdiplus::GpFont* NativeFont() const { return FNative; }

 private:
  Gdiplus::GpFont* FNative = nullptr;
};

class TGPBrush : public TGdiplusBase {
 public:
  ~TGPBrush() override;
  Gdiplus::GpBrush* NativeBrush() const { return FNative; }

 protected:
  TGPBrush() = default;
  Gdiplus::GpBrush* FNative = nullptr;
};

class TGPSolidBrush : public TGPBrush {
 public:
  explicit TGPSolidBrush(Gdiplus::ARGB color);
};

class TGPGraphics : public TGdiplusBase {
 public:
  // Draws on a device context; the context must outlive this object.
  explicit TGPGraphics(HDC dc);
  // Draws on a GDI+ image.
  explicit TGPGraphics(TGPImage& image);
  ~TGPGraphics() override;
  Gdiplus::GpGraphics* NativeGraphics() const { return FNative; }

  void SetTextRenderingHint(Gdiplus::TextRenderingHint hint);
  void Clear(Gdiplus::ARGB color);
  // Draws text into the layout rectangle; width and height 0 mean no clipping and no
  // wrapping. format may be null.
  void DrawString(const std::u16string& text, const TGPFont& font, const Gdiplus::RectF& layout,
                  const Gdiplus::GpStringFormat* format, const TGPBrush& brush);

 private:
  Gdiplus::GpGraphics* FNative = nullptr;
};

}  // namespace imaging
