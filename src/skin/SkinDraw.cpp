#include "skin/SkinDraw.h"

#include <cstring>
#include <memory>

#include "ui/Bitmap.h"

namespace skin {

namespace {

TGridMargins GridOf(const TBorderMargins& m) { return {m.Left, m.Right, m.Top, m.Bottom}; }

RECT RectOf(const TSkinRect& r) { return {r.Left, r.Top, r.Right, r.Bottom}; }

bool IsKeyColor(TColor color) { return color != ColorNotSet && color != ColorDefault; }

// The bitmap's DIB section, kept with it while its pixels stay as they are.
struct TDibCopy : TSkinBitmap::TPlatformCopy {
  ui::TOwnedBitmap Dib;
};

HBITMAP CachedDib(const TSkinBitmap& bitmap) {
  auto* copy = dynamic_cast<TDibCopy*>(bitmap.PlatformCopy());
  if (copy && copy->Changes == bitmap.Changes()) return copy->Dib.Get();
  auto fresh = std::make_unique<TDibCopy>();
  fresh->Dib = CreateSkinDib(bitmap);
  fresh->Changes = bitmap.Changes();
  HBITMAP dib = fresh->Dib.Get();
  bitmap.SetPlatformCopy(dib ? std::move(fresh) : nullptr);
  return dib;
}

// Paints rect of bitmap through the bitmap's own DIB section: a paint costs what the
// destination needs, whatever the size of the skin image.
bool PaintBitmap(HDC dc, const RECT& rect, const TSkinBitmap& bitmap, const TSkinRect& source, uint8_t mode,
                 COLORREF key, const TGridMargins& destMargins, const TGridMargins& sourceMargins) {
  HBITMAP dib = CachedDib(bitmap);
  if (!dib) return false;
  return NineGridPaint(dc, rect, dib, nullptr, csAll, key, mode, destMargins, sourceMargins, RectOf(source));
}

}  // namespace

ui::TOwnedBitmap CreateSkinDib(const TSkinBitmap& bitmap) {
  const int32_t bpp = bitmap.BitsPerPixel() == 32 ? 32 : 24;
  void* bits = nullptr;
  ui::TOwnedBitmap dib = CreateDib(bitmap.Width(), bitmap.Height(), bpp, &bits);
  if (!dib || !bits) return {};
  const size_t stride = (static_cast<size_t>(bitmap.Width()) * bpp + 31) / 32 * 4;
  for (int32_t y = 0; y < bitmap.Height(); ++y) {
    uint8_t* row = static_cast<uint8_t*>(bits) + stride * static_cast<size_t>(y);
    const uint8_t* from = bitmap.Pixel(0, y);
    if (bpp == 32) {
      std::memcpy(row, from, static_cast<size_t>(bitmap.Width()) * 4);
      continue;
    }
    for (int32_t x = 0; x < bitmap.Width(); ++x) std::memcpy(row + x * 3, from + x * 4, 3);
  }
  return dib;
}

COLORREF SkinColorToRGB(TColor color) {
  if (color < 0) return GetSysColor(color & 0xFF);
  return static_cast<COLORREF>(color) & 0x00FFFFFF;
}

bool DrawSlice(HDC dc, const RECT& rect, TSkinItemSlice& slice) {
  TSkinBitmap* bitmap = slice.PrepareBitmap();
  if (!bitmap || slice.Width() < 1 || slice.Height() < 1) return false;
  uint8_t mode = bitmap->BitsPerPixel() == 32 ? pmAlpha : pmOpaque;
  COLORREF key = 0;
  if (IsKeyColor(slice.TransparentColor)) {
    mode = pmColorKey;
    key = SkinColorToRGB(slice.TransparentColor);
  }
  TGridMargins margins = GridOf(slice.Margins);
  return PaintBitmap(dc, rect, *bitmap, slice.Rect, mode, key, margins, margins);
}

bool DrawState(HDC dc, const RECT& rect, TSkinItemState& state) {
  TSkinBitmap* bitmap = state.PrepareStateBitmap();
  if (!bitmap || state.Rect.Empty()) return false;
  const TSkinItemPart& part = *state.Part;
  uint8_t mode = pmOpaque;
  COLORREF key = 0;
  if (part.TransparentMode == stmAlpha && bitmap->BitsPerPixel() == 32) {
    mode = pmAlpha;
  } else if (part.TransparentMode == stmMask && IsKeyColor(part.TransparentColor)) {
    mode = pmColorKey;
    key = SkinColorToRGB(part.TransparentColor);
  }
  return PaintBitmap(dc, rect, *bitmap, state.Rect, mode, key, GridOf(state.TargetMargins), GridOf(state.ImageMargins));
}

bool TSkinSliceGraphic::AssignTo(ui::TGraphic& dest) {
  auto* bitmap = dynamic_cast<ui::TBitmap*>(&dest);
  if (!bitmap) return false;
  TSkinBitmap* image = FSlice.PrepareBitmap();
  if (!image) {
    bitmap->SetHandle(nullptr);
    return true;
  }
  HBITMAP dib = CachedDib(*image);
  bool copied = dib && CopyBitmapRect(dib, RectOf(FSlice.Rect), *bitmap);
  if (!copied) bitmap->SetHandle(nullptr);
  if (IsKeyColor(FSlice.TransparentColor)) bitmap->SetTransparentColor(FSlice.TransparentColor);
  return true;
}

bool TSkinSliceGraphic::Equals(ui::TGraphic& other) {
  auto* o = dynamic_cast<TSkinSliceGraphic*>(&other);
  return o && FSlice.Equals(o->FSlice);
}

}  // namespace skin
