// TBitmap: a GDI bitmap selected into its own memory device context so that GDI and GDI+
// can draw on it and UpdateLayeredWindow or BitBlt can read from it. Its streamed form
// is a BMP file.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>

#include "base/Object.h"
#include "ui/Canvas.h"
#include "ui/GdiHandles.h"
#include "ui/Graphic.h"

namespace ui {

class TBitmap : public TGraphic {
 public:
  TBitmap();
  ~TBitmap() override;

  // Takes ownership of a GDI bitmap (releasing the previous one); null empties it.
  void SetHandle(HBITMAP bitmap);
  // Hands the bitmap to the caller, who then owns it; the object becomes empty.
  HBITMAP ReleaseHandle();
  HBITMAP Handle() const { return FHandle.Get(); }
  // A new top-down 32-bit DIB section of the size, all bytes zero (transparent black).
  void SetSize32(int32_t width, int32_t height);
  // Direct access to the pixels of a DIB section (blue, green, red, alpha per pixel,
  // rows top-down when created by SetSize32); null for device-dependent bitmaps.
  uint8_t* Bits() const;

  // The canvas over the bitmap's memory device context, which lives as long as this
  // object and always has the current bitmap selected.
  TCanvas& Canvas() { return FCanvas; }

  // The palette of an 8-bit or smaller bitmap (owned), or null.
  HPALETTE Palette() const { return FPalette.Get(); }
  void SetPalette(HPALETTE palette);
  // The colour Transparent makes see-through (0x00BBGGRR).
  TColor TransparentColor() const { return FTransparentColor; }
  void SetTransparentColor(TColor color) { FTransparentColor = color; }

  const char* ClassName() const override { return "TBitmap"; }
  int32_t Width() const override { return FWidth; }
  int32_t Height() const override { return FHeight; }
  bool Empty() const override { return !FHandle; }
  // A new size makes a new blank 32-bit bitmap.
  void SetWidth(int32_t width) override { SetSize(width, FHeight); }
  void SetHeight(int32_t height) override { SetSize(FWidth, height); }
  void SetSize(int32_t width, int32_t height) override;
  void Draw(TCanvas& canvas, const RECT& rect) override;
  // A BMP file: uncompressed 1, 4, 8, 16, 24 or 32 bits per pixel. Anything else, and
  // any header or size that does not fit the bytes, raises EInvalidGraphic "Bitmap
  // image is not valid".
  void LoadFromStream(base::TStream& stream) override;
  // Writes a BMP file of the bitmap: 32 bits per pixel, bottom-up rows.
  void SaveToStream(base::TStream& stream) override;

 private:
  // The context goes last: the bitmap and palette are out of it by then.
  TOwnedDC FDC;
  TOwnedBitmap FHandle;
  TOwnedPalette FPalette;
  TColor FTransparentColor = 0;
  // The bitmap selected into FDC while there is one; goes before both.
  std::optional<TSelectObject> FSelection;
  int32_t FWidth = 0;
  int32_t FHeight = 0;
  TCanvas FCanvas;
};

}  // namespace ui
