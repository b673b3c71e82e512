// The four picture classes the framework opens by extension, and their registration.
// They differ from TGPGraphic only in their default Format and in saving straight
// through their own encoder.
#pragma once

#include "imaging/GPGraphic.h"
#include "imaging/GdiplusBase.h"
#include "ui/Picture.h"

namespace imaging {

class TJPEGImage : public TGPGraphic {
 public:
  TJPEGImage() { SetFormat(Gdiplus::ImageFormatJPEG); }
  const char* ClassName() const override { return "TJPEGImage"; }
  // Encoder quality 0..100 (default 90) and transformation (an EncoderValueTransform
  // value; 0, the default, passes none).
  int32_t Quality() const { return FQuality; }
  void SetQuality(int32_t value) { FQuality = value; }
  int32_t Transform() const { return FTransform; }
  void SetTransform(int32_t value) { FTransform = value; }

 protected:
  void SaveImage(base::TStream& stream) override { SaveJPEG(stream); }
};

class TPNGImage : public TGPGraphic {
 public:
  TPNGImage() { SetFormat(Gdiplus::ImageFormatPNG); }
  const char* ClassName() const override { return "TPNGImage"; }

 protected:
  void SaveImage(base::TStream& stream) override { SavePNG(stream); }
};

// Saves an unchanged GIF as loaded; other pictures are reduced to 255 colours first.
class TGIFImage : public TGPGraphic {
 public:
  TGIFImage() { SetFormat(Gdiplus::ImageFormatGIF); }
  const char* ClassName() const override { return "TGIFImage"; }
  // The colours a true-colour picture is reduced to (2..255, default 255); the palette
  // entry after them is reserved for transparency.
  int32_t MaxColors() const { return FMaxColors; }
  void SetMaxColors(int32_t value) { FMaxColors = value; }

 protected:
  void SaveImage(base::TStream& stream) override { SaveGIF(stream); }
};

class TTIFImage : public TGPGraphic {
 public:
  TTIFImage() { SetFormat(Gdiplus::ImageFormatTIFF); }
  const char* ClassName() const override { return "TTIFImage"; }

 protected:
  void SaveImage(base::TStream& stream) override { SaveTIFF(stream); }
};

extern const ui::TGraphicClass JPEGImageClass;
extern const ui::TGraphicClass PNGImageClass;
extern const ui::TGraphicClass GIFImageClass;
extern const ui::TGraphicClass TIFImageClass;

// Registers "jfif", "jpeg", "jpg", "png", "gif", "tif" and "tiff" with the framework's
// picture registry, in that order; UnregisterPictureFormats removes the four classes.
void RegisterPictureFormats();
void UnregisterPictureFormats();

// The imaging unit's start-up for the program's lifetime: GDI+ and the picture formats,
// undone in reverse order.
class TImagingSession {
 public:
  TImagingSession() { RegisterPictureFormats(); }
  ~TImagingSession() { UnregisterPictureFormats(); }
  TImagingSession(const TImagingSession&) = delete;
  TImagingSession& operator=(const TImagingSession&) = delete;

 private:
  TGdiplusSession FGdiplus;
};

}  // namespace imaging
