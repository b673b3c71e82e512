// Drawing the skin model on Windows: slices and states through the nine-cell painter,
// and the slice as a picture of the window framework. The model's bitmaps are portable
// pixel buffers; each keeps a DIB section of its pixels for the painter, made at the
// first draw and made again only after the pixels changed.
#pragma once

#include <windows.h>

#include "skin/SkinItems.h"
#include "skin/SkinPaint.h"
#include "ui/Graphic.h"

namespace skin {

// A top-down DIB section holding the bitmap's pixels: 32 bits per pixel (alpha as
// stored) for a 32-bit bitmap, else 24. Null for an empty bitmap or on failure.
ui::TOwnedBitmap CreateSkinDib(const TSkinBitmap& bitmap);

// The RGB value of a skin colour (system colours resolved).
COLORREF SkinColorToRGB(TColor color);

// Draws the slice's rectangle into rect as a nine-cell grid with its margins: colour
// key when the slice names a transparent colour, else per-pixel alpha for a 32-bit
// image and an opaque copy otherwise. False when there is nothing to draw (no image, an
// empty slice) or painting failed.
bool DrawSlice(HDC dc, const RECT& rect, TSkinItemSlice& slice);

// Draws a state's image rectangle into rect as a nine-cell grid, the image margins as
// source margins and the target margins as destination margins: per-pixel alpha when
// the part blends by alpha and the image is 32-bit, colour key when the part is masked,
// an opaque copy otherwise. False when there is nothing to draw or painting failed.
bool DrawState(HDC dc, const RECT& rect, TSkinItemState& state);

// A slice as a picture: canvases draw it like any other graphic, and it copies its
// rectangle of the item's image into a TBitmap. It refers to the slice, which must
// outlive it. Loading and saving do nothing.
class TSkinSliceGraphic : public ui::TGraphic {
 public:
  explicit TSkinSliceGraphic(TSkinItemSlice& slice) : FSlice(slice) {}
  TSkinItemSlice& Slice() const { return FSlice; }
  const char* ClassName() const override { return "TSkinItemSlice"; }
  int32_t Width() const override { return FSlice.Width(); }
  int32_t Height() const override { return FSlice.Height(); }
  bool Empty() const override { return FSlice.Empty(); }
  void SetWidth(int32_t width) override { FSlice.SetWidth(width); }
  void SetHeight(int32_t height) override { FSlice.SetHeight(height); }
  void Draw(ui::TCanvas& canvas, const RECT& rect) override { DrawSlice(canvas.Handle(), rect, FSlice); }
  void LoadFromStream(base::TStream&) override {}
  void SaveToStream(base::TStream&) override {}
  // Into a ui::TBitmap: the slice rectangle of the image, with the slice's transparent
  // colour as the bitmap's when it names one.
  bool AssignTo(ui::TGraphic& dest) override;
  bool Equals(ui::TGraphic& other) override;

 private:
  TSkinItemSlice& FSlice;
};

}  // namespace skin
