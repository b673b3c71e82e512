// TGPGraphic: a picture of the framework backed by a GDI+ image. It loads anything GDI+
// decodes from files and streams, draws with GDI+ onto any canvas, saves through the
// GDI+ encoders, animates multi-frame images on the frame animator thread and converts
// to and from the framework's GDI bitmap. Pictures assigned from each other share one
// TGPImageData. GUI thread only; GDI+ must be started.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/GdiplusObjects.h"
#include "imaging/ImageAnimator.h"
#include "ui/Bitmap.h"
#include "ui/Graphic.h"

namespace imaging {

// What pictures assigned from each other share: one decoded image and its animator.
struct TGPImageData {
  std::unique_ptr<TGPImage> Image;
  // The animator of the image while it animates (owned by the animator thread). For
  // inspection only: the thread frees it at shutdown; the picture's own code goes by the
  // sender of each frame change.
  TGPImageAnimator* Animator = nullptr;
  int32_t Width = 0;  // screen pixels
  int32_t Height = 0;
};

class TGPGraphic : public ui::TGraphic {
 public:
  TGPGraphic();
  ~TGPGraphic() override;

  const char* ClassName() const override { return "TGPGraphic"; }
  int32_t Width() const override { return FData->Width; }
  int32_t Height() const override { return FData->Height; }
  bool Empty() const override { return !FData->Image; }
  // A picture that is not in BitmapMode cannot be resized once loaded: raises
  // ui::EInvalidGraphicOperation "Cannot change the size of This image type". Otherwise
  // the picture becomes a blank bitmap of the size and PixelFormat.
  void SetWidth(int32_t width) override { SetSize(width, FData->Height); }
  void SetHeight(int32_t height) override { SetSize(FData->Width, height); }
  void SetSize(int32_t width, int32_t height) override;

  // Never raises: a picture GDI+ cannot draw leaves the canvas as it was.
  void Draw(ui::TCanvas& canvas, const RECT& rect) override;
  // Draws the whole image into the rectangle with the picture's interpolation and
  // smoothing and half-pixel offsets; the graphics' state is restored after.
  void Draw(TGPGraphics& graphics, const Gdiplus::RectF& rect);

  void LoadFromFile(const base::WideString& fileName) override;
  // Reads from the stream's position to its end.
  void LoadFromStream(base::TStream& stream) override { LoadFromStream(stream, -1); }
  // Reads count bytes from the stream's position (to the end when count < 0).
  void LoadFromStream(base::TStream& stream, int64_t count);
  void SaveToStream(base::TStream& stream) override;

  // From another TGPGraphic (shares its image) or a ui::TBitmap (a copy, its
  // transparent colour made see-through); anything else raises EConvertError.
  void Assign(ui::TGraphic& source) override;
  // Into a ui::TBitmap (through a BMP) or another TGPGraphic.
  bool AssignTo(ui::TGraphic& dest) override;
  bool Equals(ui::TGraphic& other) override;

  // Replaces the pixels of the key colour (ARGB, compared exactly) by transparent white.
  // An icon raises InvalidOperationException "CantMakeIconTransparent".
  void MakeTransparent(Gdiplus::ARGB key);

  TGPImage* Image() const { return FData->Image.get(); }
  const std::shared_ptr<TGPImageData>& ImageData() const { return FData; }

  ui::TPixelFormat PixelFormat() const { return FPixelFormat; }
  void SetPixelFormat(ui::TPixelFormat format) { FPixelFormat = format; }
  // True: pictures load as editable GDI+ bitmaps and may be resized.
  bool BitmapMode() const { return FBitmapMode; }
  void SetBitmapMode(bool value);
  // The format saving encodes to; ImageFormatUndefined takes the image's own.
  const GUID& Format() const { return FFormat; }
  void SetFormat(const GUID& format) { FFormat = format; }
  bool Animate() const { return FAnimate; }
  void SetAnimate(bool value);

  Gdiplus::InterpolationMode InterpolationMode = Gdiplus::InterpolationModeDefault;
  Gdiplus::SmoothingMode SmoothingMode = Gdiplus::SmoothingModeDefault;
  // Runs on the GUI thread when the shown frame changed; the sender is the animator, or
  // this picture when animation was switched off. Unset: OnChange runs instead.
  TFrameChangeEvent OnFrameChange;

 protected:
  // Saves in Format, or in the image's raw format when Format is undefined.
  virtual void SaveImage(base::TStream& stream);
  void SaveJPEG(base::TStream& stream);
  void SavePNG(base::TStream& stream);
  void SaveGIF(base::TStream& stream);
  void SaveTIFF(base::TStream& stream);
  // Encodes in format with the parameters, or writes the source bytes unchanged when the
  // image has them and there is no such encoder or format is the image's own.
  void PlainSave(base::TStream& stream, const GUID& format, const Gdiplus::EncoderParameters* params);
  // The JPEG encoder's settings (used by TJPEGImage and by JPEG saving of any picture).
  int32_t FQuality = 90;
  int32_t FTransform = 0;
  // The palette size GIF saving reduces true-colour pictures to (2..255).
  int32_t FMaxColors = 255;

 private:
  static void FrameChangeThunk(void* context, base::TObject* sender);
  TFrameChangeEvent FrameHandler() { return {&TGPGraphic::FrameChangeThunk, this}; }
  void FrameChanged(base::TObject* sender);
  void StopAnimation();
  void NewData();
  void TakeImage(std::unique_ptr<TGPImage> image);
  void ReadImageInfo();
  void RestartAnimation();
  void CreateBlankImage();
  void AssignFromBitmap(ui::TBitmap& bitmap);

  std::shared_ptr<TGPImageData> FData;
  ui::TPixelFormat FPixelFormat = ui::TPixelFormat::pf32bit;
  bool FBitmapMode = false;
  GUID FFormat;
  bool FAnimate = false;
};

// The JPEG encoder parameters: EncoderQuality (one 32-bit value) and, when transform
// is not 0, EncoderTransformation. The buffer holds a Gdiplus::EncoderParameters and the
// values it points to.
std::vector<uint8_t> JPEGEncoderParameters(int32_t quality, int32_t transform);

// ARGB of a framework colour with full alpha (system colours resolved).
Gdiplus::ARGB ColorToARGB(ui::TColor color);

}  // namespace imaging
