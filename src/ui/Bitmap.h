// TGraphic, the base of every picture the framework draws, and TBitmap, a GDI bitmap
// selected into its own memory device context so that GDI and GDI+ can draw on it and
// UpdateLayeredWindow or BitBlt can read from it.
#pragma once

#include <windows.h>

#include <cstdint>

#include "base/Object.h"
#include "ui/Canvas.h"

namespace ui {

class TGraphic : public base::TObject {
 public:
  virtual int32_t Width() const = 0;
  virtual int32_t Height() const = 0;
  virtual bool Empty() const = 0;
  // Draws the picture into the rectangle of the canvas.
  virtual void Draw(TCanvas& canvas, const RECT& rect) = 0;
};

class TBitmap : public TGraphic {
 public:
  TBitmap();
  ~TBitmap() override;

  // Takes ownership of a GDI bitmap (releasing the previous one); null empties it.
  void SetHandle(HBITMAP bitmap);
  // Hands the bitmap to the caller, who then owns it; the object becomes empty.
  HBITMAP ReleaseHandle();
  HBITMAP Handle() const { return FHandle; }
  // A new top-down 32-bit DIB section of the size, all bytes zero (transparent black).
  void SetSize32(int32_t width, int32_t height);
  // Direct access to the pixels of a DIB section (blue, green, red, alpha per pixel,
  // rows top-down when created by SetSize32); null for device-dependent bitmaps.
  uint8_t* Bits() const;

  // The canvas over the bitmap's memory device context, which lives as long as this
  // object and always has the current bitmap selected.
  TCanvas& Canvas() { return FCanvas; }

  int32_t Width() const override { return FWidth; }
  int32_t Height() const override { return FHeight; }
  bool Empty() const override { return FHandle == nullptr; }
  void Draw(TCanvas& canvas, const RECT& rect) override;

 private:
  HDC FDC;
  HBITMAP FHandle = nullptr;
  HGDIOBJ FOldBitmap = nullptr;
  int32_t FWidth = 0;
  int32_t FHeight = 0;
  TCanvas FCanvas;
};

}  // namespace ui
