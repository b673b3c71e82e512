// Thin owners of GDI+ handles: images, bitmaps and metafiles, graphics, image
// attributes, brushes, font families and fonts. Each releases its handle when destroyed
// and raises the status exception of GdiplusBase.h when a call fails. GUI thread only;
// GDI+ must be started.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imaging/GdiplusApi.h"
#include "imaging/GdiplusBase.h"
#include "imaging/ImageAnimator.h"

namespace imaging {

class TGPStreamAdapter;

class TGPImage : public TGdiplusBase, public IAnimatedImage {
 public:
  // Loads a picture from a file or an IStream. An image of the bitmap type becomes a
  // TGPBitmap, a metafile a TGPMetafile; any other type raises ArgumentException
  // "InvalidImage". GIF, WMF and EMF pictures keep a copy of their source bytes (the
  // whole file; the stream from its start).
  static std::unique_ptr<TGPImage> FromFile(const std::u16string& fileName, bool useICM = false);
  static std::unique_ptr<TGPImage> FromStream(TGPStreamAdapter* stream, bool useICM = false);
  ~TGPImage() override;

  Gdiplus::GpImage* NativeImage() const { return FNativeImage; }
  Gdiplus::ImageType GetType();
  uint32_t GetFlags();
  GUID GetRawFormat();
  Gdiplus::RectF GetBounds();
  uint32_t GetWidth();
  uint32_t GetHeight();
  Gdiplus::PixelFormat GetPixelFormat();
  float GetHorizontalResolution();
  float GetVerticalResolution();

  // Saves through the encoder with the class identifier; params may be null.
  void Save(const std::u16string& fileName, const CLSID& encoder, const Gdiplus::EncoderParameters* params);
  void Save(IStream* stream, const CLSID& encoder, const Gdiplus::EncoderParameters* params);

  uint32_t GetFrameDimensionsCount();
  std::vector<GUID> GetFrameDimensionsList();
  uint32_t GetFrameCount(const GUID& dimension);
  void SelectActiveFrame(const GUID& dimension, uint32_t index);
  // Size in bytes of a property item (header and value); raises when it is missing.
  uint32_t GetPropertyItemSize(PROPID id);
  // The item's bytes: a Gdiplus::PropertyItem whose value points into the same buffer.
  std::vector<uint8_t> GetPropertyItem(PROPID id);

  // Palette entries of an indexed image (empty for others).
  std::vector<Gdiplus::ARGB> GetPalette();
  void SetPalette(const std::vector<Gdiplus::ARGB>& colors, uint32_t flags = 0);

  // The picture's file bytes for GIF, WMF and EMF pictures, saved unchanged while the
  // image is not edited; empty otherwise.
  const std::vector<uint8_t>& SourceBytes() const { return FSourceBytes; }
  // An edit (drawing into the image, a colour key) makes the source bytes stale.
  void DropSourceBytes() { FSourceBytes.clear(); }
  // Exchanges the native images (and source bytes) of the two objects.
  void SwapNative(TGPImage& other);

  // IAnimatedImage: the time dimension and the frame-delay property.
  int32_t TimeFrameCount() override;
  bool ReadFrameDelays(std::vector<uint32_t>& delays) override;
  void SelectTimeFrame(int32_t index) override;

 protected:
  TGPImage() = default;
  explicit TGPImage(Gdiplus::GpImage* native) : FNativeImage(native) {}
  Gdiplus::GpImage* FNativeImage = nullptr;
  std::vector<uint8_t> FSourceBytes;

 private:
  static std::unique_ptr<TGPImage> Wrap(Gdiplus::GpImage* native);
  void KeepSourceBytes(const std::u16string* fileName, TGPStreamAdapter* stream);
};

class TGPBitmap : public TGPImage {
 public:
  // Decodes a picture file or stream as an editable bitmap; useICM applies its embedded
  // colour profile.
  TGPBitmap(const std::u16string& fileName, bool useICM = false);
  TGPBitmap(TGPStreamAdapter* stream, bool useICM = false);
  // A new bitmap of the size and GDI+ pixel format (32 bpp ARGB by default).
  TGPBitmap(int32_t width, int32_t height, Gdiplus::PixelFormat format = PixelFormat32bppARGB);
  // A copy of a GDI bitmap with its palette (may be null).
  TGPBitmap(HBITMAP bitmap, HPALETTE palette);
  // Takes over a native bitmap.
  explicit TGPBitmap(Gdiplus::GpBitmap* native) : TGPImage(native) {}

  Gdiplus::GpBitmap* NativeBitmap() const { return reinterpret_cast<Gdiplus::GpBitmap*>(FNativeImage); }
  // A new 32-bit GDI bitmap of the picture composed over the background colour (ARGB);
  // the caller owns it.
  HBITMAP GetHBITMAP(Gdiplus::ARGB background);
  Gdiplus::ARGB GetPixel(int32_t x, int32_t y);
  // Locks a rectangle in the pixel format; a write lock drops the source bytes.
  void LockBits(const Gdiplus::Rect& rect, uint32_t flags, Gdiplus::PixelFormat format, Gdiplus::BitmapData& data);
  void UnlockBits(Gdiplus::BitmapData& data);
};

// A metafile picture (WMF or EMF) as the loader found it.
class TGPMetafile : public TGPImage {
 public:
  explicit TGPMetafile(Gdiplus::GpImage* native) : TGPImage(native) {}
};

class TGPImageAttributes : public TGdiplusBase {
 public:
  TGPImageAttributes();
  ~TGPImageAttributes() override;
  Gdiplus::GpImageAttributes* NativeAttributes() const { return FNative; }
  // Pixels whose colour lies in [low, high] (per channel) are drawn transparent.
  void SetColorKey(Gdiplus::ARGB low, Gdiplus::ARGB high,
                   Gdiplus::ColorAdjustType type = Gdiplus::ColorAdjustTypeDefault);

 private:
  Gdiplus::GpImageAttributes* FNative = nullptr;
};

class TGPFontFamily : public TGdiplusBase {
 public:
  // An installed family; a name that is not installed raises "GdiplusFontFamilyNotFound"
  // (there is no fallback to another family).
  explicit TGPFontFamily(const std::u16string& name);
  ~TGPFontFamily() override;
  Gdiplus::GpFontFamily* NativeFamily() const { return FNative; }
  // The generic sans-serif family, created once and kept until GDI+ shuts down.
  static TGPFontFamily& GenericSansSerif();
  // Frees the cached family (GDI+ shutdown).
  static void ReleaseCached();

 private:
  explicit TGPFontFamily(Gdiplus::GpFontFamily* native) : FNative(native) {}
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
  std::unique_ptr<TGPBrush> Clone();

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
  // Draws on a GDI+ image; the image's source bytes no longer describe it.
  explicit TGPGraphics(TGPImage& image);
  ~TGPGraphics() override;
  Gdiplus::GpGraphics* NativeGraphics() const { return FNative; }

  void SetTextRenderingHint(Gdiplus::TextRenderingHint hint);
  void SetInterpolationMode(Gdiplus::InterpolationMode mode);
  void SetSmoothingMode(Gdiplus::SmoothingMode mode);
  void SetPixelOffsetMode(Gdiplus::PixelOffsetMode mode);
  void SetPageUnit(Gdiplus::Unit unit);
  Gdiplus::GraphicsState Save();
  void Restore(Gdiplus::GraphicsState state);
  void Clear(Gdiplus::ARGB color);
  void DrawImage(TGPImage& image, const Gdiplus::RectF& rect);
  void DrawImage(TGPImage& image, int32_t x, int32_t y, int32_t width, int32_t height);
  // Draws the source rectangle of the image into the destination rectangle.
  void DrawImage(TGPImage& image, const Gdiplus::Rect& dest, const Gdiplus::Rect& source, Gdiplus::Unit unit,
                 const TGPImageAttributes* attributes);
  // Draws text into the layout rectangle; width and height 0 mean no clipping and no
  // wrapping. format may be null.
  void DrawString(const std::u16string& text, const TGPFont& font, const Gdiplus::RectF& layout,
                  const Gdiplus::GpStringFormat* format, const TGPBrush& brush);

 private:
  Gdiplus::GpGraphics* FNative = nullptr;
};

// The installed encoder for an image format (the first whose format identifier equals
// it); an all-zero record when there is none.
Gdiplus::ImageCodecInfo FindEncoder(const GUID& format);

}  // namespace imaging
