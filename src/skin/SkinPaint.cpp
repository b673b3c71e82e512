#include "skin/SkinPaint.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "blend/BlendLine.h"

namespace skin {

namespace {

// A memory DC with one bitmap selected, both released on every path.
class TMemoryDC {
 public:
  // Selects bitmap (borrowed) into a new DC compatible with like.
  TMemoryDC(HDC like, HBITMAP bitmap)
      : FBitmap(bitmap), FDC(bitmap ? CreateCompatibleDC(like) : nullptr), FSelection(FDC.Get(), bitmap) {}
  // The same with a bitmap of its own, released after the DC.
  TMemoryDC(HDC like, ui::TOwnedBitmap bitmap) : TMemoryDC(like, bitmap.Get()) { FOwned = std::move(bitmap); }
  // False when the DC could not be made or the bitmap not selected.
  explicit operator bool() const { return FSelection.Selected(); }
  HDC DC() const { return FSelection.Selected() ? FDC.Get() : nullptr; }
  HBITMAP Bitmap() const { return FBitmap; }

 private:
  HBITMAP FBitmap;
  ui::TOwnedBitmap FOwned;
  ui::TOwnedDC FDC;
  ui::TSelectObject FSelection;
};

// The DIB section behind a bitmap handle; false for device-dependent bitmaps.
bool DibOf(HBITMAP bitmap, DIBSECTION& ds) {
  return bitmap && GetObject(bitmap, sizeof ds, &ds) == sizeof ds && ds.dsBm.bmBits != nullptr;
}

// Whether the first row in memory of the DIB section selected into dc is its top row.
// GetObject reports every DIB section with a positive height, so GDI is asked instead:
// does changing the first byte in memory change the pixel at the device's top left?
bool ProbeTopDown(HDC dc, const DIBSECTION& ds) {
  if (ds.dsBm.bmHeight < 2) return true;
  POINT p{0, 0};
  DPtoLP(dc, &p, 1);
  GdiFlush();
  auto* first = static_cast<uint8_t*>(ds.dsBm.bmBits);
  const uint8_t saved = *first;
  const COLORREF before = GetPixel(dc, p.x, p.y);
  bool topDown = false;
  for (int bit = 0; bit < 8 && !topDown; ++bit) {
    *first = static_cast<uint8_t>(saved ^ (1 << bit));
    topDown = GetPixel(dc, p.x, p.y) != before;
  }
  *first = saved;
  return topDown;
}

// A DIB section's memory with its row order.
struct TDibRows {
  DIBSECTION Ds{};
  bool TopDown = true;
  // Row y (0 = top).
  uint8_t* Row(int32_t y) const {
    int32_t row = TopDown ? y : Ds.dsBm.bmHeight - 1 - y;
    return static_cast<uint8_t*>(Ds.dsBm.bmBits) + static_cast<ptrdiff_t>(row) * Ds.dsBm.bmWidthBytes;
  }
  int32_t Width() const { return Ds.dsBm.bmWidth; }
  int32_t Height() const { return Ds.dsBm.bmHeight; }
};

// The DIB section selected into dc (probed for its row order); false for anything else.
bool DibOf(HDC dc, TDibRows& dib) {
  if (!DibOf(static_cast<HBITMAP>(GetCurrentObject(dc, OBJ_BITMAP)), dib.Ds)) return false;
  dib.TopDown = ProbeTopDown(dc, dib.Ds);
  return true;
}

// The DIB section of a bitmap that is not selected into any DC; false for anything else.
bool DibOf(HBITMAP bitmap, TDibRows& dib) {
  if (!DibOf(bitmap, dib.Ds)) return false;
  TMemoryDC dc(nullptr, bitmap);
  // A bitmap held by another DC cannot be probed: go by the reported height's sign.
  dib.TopDown = dc ? ProbeTopDown(dc.DC(), dib.Ds) : dib.Ds.dsBmih.biHeight < 0;
  return true;
}

// A DIB section made here (CreateDib: top-down) and selected into dc.
TDibRows OwnDib(HDC dc) {
  TDibRows dib;
  DibOf(static_cast<HBITMAP>(GetCurrentObject(dc, OBJ_BITMAP)), dib.Ds);
  return dib;
}

void FillAlpha(const TDibRows& dib, const RECT& rect, uint8_t alpha) {
  int32_t left = std::max<int32_t>(rect.left, 0), right = std::min<int32_t>(rect.right, dib.Width());
  int32_t top = std::max<int32_t>(rect.top, 0), bottom = std::min<int32_t>(rect.bottom, dib.Height());
  GdiFlush();
  for (int32_t y = top; y < bottom; ++y) {
    uint8_t* row = dib.Row(y);
    for (int32_t x = left; x < right; ++x) row[x * 4 + 3] = alpha;
  }
}

// The device position of a logical point of a plain (MM_TEXT) DC; false otherwise.
bool DevicePoint(HDC dc, int32_t x, int32_t y, POINT& p) {
  if (GetMapMode(dc) != MM_TEXT || GetGraphicsMode(dc) != GM_COMPATIBLE) return false;
  p = {x, y};
  return LPtoDP(dc, &p, 1) != FALSE;
}

bool Inside(const TDibRows& dib, const POINT& p, int32_t w, int32_t h) {
  return p.x >= 0 && p.y >= 0 && int64_t{p.x} + w <= dib.Width() && int64_t{p.y} + h <= dib.Height();
}

void BlendRow(const uint32_t* source, uint32_t* dest, int32_t count, uint32_t blend) {
  uint8_t format = static_cast<uint8_t>(blend >> 24), constant = static_cast<uint8_t>(blend >> 16);
  if (format == 0)
    blend::BlendLineConstant(source, dest, count, 0, constant);
  else if (format == 1 && constant == 255)
    blend::BlendLineOver(source, dest, count);
  else if (format == 1)
    blend::BlendLineOverMaster(source, dest, count, constant);
}

// Blends rows of two 32-bit DIB sections at device positions; both areas lie inside.
void BlendDibs(const TDibRows& dest, POINT d, const TDibRows& source, POINT s, int32_t w, int32_t h, uint32_t blend) {
  GdiFlush();  // pending GDI drawing must have reached the bits
  for (int32_t i = 0; i < h; ++i) {
    const auto* src = reinterpret_cast<const uint32_t*>(source.Row(s.y + i)) + s.x;
    auto* dst = reinterpret_cast<uint32_t*>(dest.Row(d.y + i)) + d.x;
    BlendRow(src, dst, w, blend);
  }
}

bool HasClipRegion(HDC dc) {
  ui::TOwnedRegion rgn(CreateRectRgn(0, 0, 0, 0));
  return rgn && GetClipRgn(dc, rgn.Get()) == 1;
}

// Restores a DC's clipping region (or its absence) and stretch mode when it goes.
class TDCStateGuard {
 public:
  explicit TDCStateGuard(HDC dc) : FDC(dc), FStretchMode(GetStretchBltMode(dc)) {}
  ~TDCStateGuard() {
    if (FClipSaved) SelectClipRgn(FDC, FHadRegion ? FRegion.Get() : nullptr);
    if (FStretchMode) SetStretchBltMode(FDC, FStretchMode);
  }
  TDCStateGuard(const TDCStateGuard&) = delete;
  TDCStateGuard& operator=(const TDCStateGuard&) = delete;
  // Intersects the clipping region with rect after remembering the current one.
  void IntersectClip(const RECT& rect) {
    FRegion.Reset(CreateRectRgn(0, 0, 0, 0));
    FHadRegion = FRegion && GetClipRgn(FDC, FRegion.Get()) == 1;
    FClipSaved = true;
    IntersectClipRect(FDC, rect.left, rect.top, rect.right, rect.bottom);
  }

 private:
  HDC FDC;
  int FStretchMode;
  ui::TOwnedRegion FRegion;
  bool FHadRegion = false;
  bool FClipSaved = false;
};

bool DrawCell(HDC dc, int32_t dx, int32_t dy, const TGridCell& c, HDC src, int32_t sx, int32_t sy, uint8_t mode,
              COLORREF key) {
  if (mode == pmOpaque)
    return StretchBlt(dc, dx + c.DX, dy + c.DY, c.DW, c.DH, src, sx + c.SX, sy + c.SY, c.SW, c.SH, SRCCOPY) != FALSE;
  if (mode == pmColorKey)
    return TransparentStretch(dc, dx + c.DX, dy + c.DY, c.DW, c.DH, src, sx + c.SX, sy + c.SY, c.SW, c.SH, key);
  return SoftAlphaBlend(dc, dx + c.DX, dy + c.DY, c.DW, c.DH, src, sx + c.SX, sy + c.SY, c.SW, c.SH, kPerPixelAlpha);
}

}  // namespace

ui::TOwnedBitmap CreateDib(int32_t width, int32_t height, int32_t bitsPerPixel, void** bits) {
  if (width <= 0 || height <= 0) return {};
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = -height;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = static_cast<WORD>(bitsPerPixel);
  bi.bmiHeader.biCompression = BI_RGB;
  void* p = nullptr;
  ui::TOwnedBitmap h(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &p, nullptr, 0));
  if (bits) *bits = p;
  return h;
}

bool TransparentStretch(HDC dest, int32_t x, int32_t y, int32_t width, int32_t height, HDC source, int32_t sx,
                        int32_t sy, int32_t sw, int32_t sh, COLORREF key) {
  if (width <= 0 || height <= 0 || sw <= 0 || sh <= 0) return false;
  // 24-bit temporaries: the key compares colours only, whatever the display's depth and
  // whatever the source keeps in its alpha bytes.
  TMemoryDC copy(dest, CreateDib(sw, sh, 24));
  TMemoryDC mask(dest, ui::TOwnedBitmap(CreateBitmap(sw, sh, 1, 1, nullptr)));
  TMemoryDC wideMask(dest, CreateDib(width, height, 24));
  TMemoryDC wideCopy(dest, CreateDib(width, height, 24));
  if (!copy || !mask || !wideMask || !wideCopy) return false;
  if (!BitBlt(copy.DC(), 0, 0, sw, sh, source, sx, sy, SRCCOPY)) return false;
  // Mask: 1 exactly where the copy has the key colour.
  SetBkColor(copy.DC(), key);
  if (!BitBlt(mask.DC(), 0, 0, sw, sh, copy.DC(), 0, 0, SRCCOPY)) return false;
  // Blacken the key pixels of the copy (mask shown as black for key, white elsewhere).
  SetBkColor(copy.DC(), RGB(0, 0, 0));
  SetTextColor(copy.DC(), RGB(255, 255, 255));
  if (!BitBlt(copy.DC(), 0, 0, sw, sh, mask.DC(), 0, 0, SRCAND)) return false;
  // Both to the destination's size: the mask as white for key, black elsewhere.
  SetStretchBltMode(wideMask.DC(), COLORONCOLOR);
  SetStretchBltMode(wideCopy.DC(), COLORONCOLOR);
  SetBkColor(wideMask.DC(), RGB(255, 255, 255));
  SetTextColor(wideMask.DC(), RGB(0, 0, 0));
  if (!StretchBlt(wideMask.DC(), 0, 0, width, height, mask.DC(), 0, 0, sw, sh, SRCCOPY)) return false;
  if (!StretchBlt(wideCopy.DC(), 0, 0, width, height, copy.DC(), 0, 0, sw, sh, SRCCOPY)) return false;
  if (!BitBlt(dest, x, y, width, height, wideMask.DC(), 0, 0, SRCAND)) return false;
  return BitBlt(dest, x, y, width, height, wideCopy.DC(), 0, 0, SRCPAINT) != FALSE;
}

bool SoftAlphaBlend(HDC dest, int32_t x, int32_t y, int32_t width, int32_t height, HDC source, int32_t sx, int32_t sy,
                    int32_t sw, int32_t sh, uint32_t blend) {
  if (width <= 0 || height <= 0) return false;
  TDibRows dd, sd;
  POINT dp{}, sp{};
  if (sw == width && sh == height && DevicePoint(dest, x, y, dp) && DevicePoint(source, sx, sy, sp) &&
      !HasClipRegion(dest) && DibOf(dest, dd) && dd.Ds.dsBm.bmBitsPixel == 32 && DibOf(source, sd) &&
      sd.Ds.dsBm.bmBitsPixel == 32 && Inside(dd, dp, width, height) && Inside(sd, sp, sw, sh)) {
    BlendDibs(dd, dp, sd, sp, width, height, blend);
    return true;
  }
  // The copying path: the destination area and the stretched source area as 32-bit
  // pixels of the destination's size, blended there and copied back.
  TMemoryDC back(dest, CreateDib(width, height, 32));
  TMemoryDC front(dest, CreateDib(width, height, 32));
  if (!back || !front) return false;
  if (!BitBlt(back.DC(), 0, 0, width, height, dest, x, y, SRCCOPY)) return false;
  int mode = GetStretchBltMode(dest);
  SetStretchBltMode(front.DC(), mode ? mode : COLORONCOLOR);
  if (!StretchBlt(front.DC(), 0, 0, width, height, source, sx, sy, sw, sh, SRCCOPY)) return false;
  TDibRows backRows = OwnDib(back.DC()), frontRows = OwnDib(front.DC());
  // A source without an alpha channel has nothing to blend by: it is opaque.
  DIBSECTION ds{};
  if (!DibOf(static_cast<HBITMAP>(GetCurrentObject(source, OBJ_BITMAP)), ds) || ds.dsBm.bmBitsPixel != 32)
    FillAlpha(frontRows, {0, 0, width, height}, 255);
  BlendDibs(backRows, {0, 0}, frontRows, {0, 0}, width, height, blend);
  return BitBlt(dest, x, y, width, height, back.DC(), 0, 0, SRCCOPY) != FALSE;
}

void SetAlphaInRect(HBITMAP bitmap, const RECT& rect, uint8_t alpha) {
  TDibRows dib;
  if (DibOf(bitmap, dib) && dib.Ds.dsBm.bmBitsPixel == 32) FillAlpha(dib, rect, alpha);
}

bool CopyBitmapRect(HBITMAP source, const RECT& rect, ui::TBitmap& dest) {
  TDibRows from;
  if (!DibOf(source, from)) return false;
  const DIBSECTION& ds = from.Ds;
  const int32_t bpp = ds.dsBm.bmBitsPixel;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;
  int32_t left = std::max<int32_t>(rect.left, 0), right = std::min<int32_t>(rect.right, ds.dsBm.bmWidth);
  int32_t top = std::max<int32_t>(rect.top, 0), bottom = std::min<int32_t>(rect.bottom, ds.dsBm.bmHeight);
  if (left >= right || top >= bottom) return false;
  const int32_t w = right - left, h = bottom - top;

  // The source's header (with its bit masks and colour table) at the new size.
  std::vector<uint8_t> info(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
  auto* bi = reinterpret_cast<BITMAPINFO*>(info.data());
  bi->bmiHeader = ds.dsBmih;
  bi->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi->bmiHeader.biWidth = w;
  bi->bmiHeader.biHeight = from.TopDown ? -h : h;
  bi->bmiHeader.biSizeImage = 0;
  if (ds.dsBmih.biCompression == BI_BITFIELDS) {
    std::memcpy(bi->bmiColors, ds.dsBitfields, sizeof ds.dsBitfields);
  } else if (bpp <= 8) {
    TMemoryDC dc(nullptr, source);
    if (!dc) return false;
    UINT n = GetDIBColorTable(dc.DC(), 0, 1u << bpp, bi->bmiColors);
    bi->bmiHeader.biClrUsed = n;
  }
  void* bits = nullptr;
  ui::TOwnedBitmap copy(CreateDIBSection(nullptr, bi, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!copy || !bits) return false;
  TDibRows to;
  DibOf(copy.Get(), to.Ds);
  to.TopDown = from.TopDown;
  GdiFlush();
  for (int32_t r = 0; r < h; ++r) {
    const uint8_t* src = from.Row(top + r);
    uint8_t* dst = to.Row(r);
    if (bpp >= 8) {
      std::memcpy(dst, src + static_cast<size_t>(left) * (bpp / 8), static_cast<size_t>(w) * (bpp / 8));
      continue;
    }
    // Below a byte per pixel the left edge need not fall on a byte: copy pixel by pixel
    // (the most significant bits hold the leftmost pixel).
    const int32_t perByte = 8 / bpp, mask = (1 << bpp) - 1;
    for (int32_t x = 0; x < w; ++x) {
      int32_t sxp = left + x;
      int v = src[sxp / perByte] >> ((perByte - 1 - sxp % perByte) * bpp) & mask;
      int shift = (perByte - 1 - x % perByte) * bpp;
      dst[x / perByte] = static_cast<uint8_t>((dst[x / perByte] & ~(mask << shift)) | v << shift);
    }
  }
  dest.SetHandle(copy.Release());
  return true;
}

bool NineGridPaint(HDC dc, const RECT& destRect, HBITMAP source, const RECT* clip, uint8_t selector, COLORREF key,
                   uint8_t mode, const TGridMargins& destMargins, const TGridMargins& sourceMargins,
                   const RECT& sourceRect) {
  const int32_t w = destRect.right - destRect.left, h = destRect.bottom - destRect.top;
  if (w <= 0 || h <= 0 || mode > pmAlpha || !dc) return false;
  BITMAP bm{};
  if (!source || !GetObject(source, sizeof bm, &bm)) return false;
  // Slice and state rectangles are only as good as the skin file: never past the image.
  RECT src{std::max<LONG>(sourceRect.left, 0), std::max<LONG>(sourceRect.top, 0),
           std::min<LONG>(sourceRect.right, bm.bmWidth), std::min<LONG>(sourceRect.bottom, bm.bmHeight)};
  if (src.left >= src.right || src.top >= src.bottom) return false;
  TNineGridLayout layout =
      LayoutNineGrid(w, h, src.right - src.left, src.bottom - src.top, selector, destMargins, sourceMargins);
  if (!layout.Valid) return false;

  TDCStateGuard state(dc);
  SetStretchBltMode(dc, COLORONCOLOR);
  if (clip) state.IntersectClip(*clip);
  TMemoryDC sourceDC(dc, source);
  if (!sourceDC) return false;
  // Every cell is drawn even after one failed; the result says whether all of them went.
  bool ok = true;
  if (mode != pmAlpha) {
    for (int32_t i = 0; i < layout.Count; ++i)
      ok = DrawCell(dc, destRect.left, destRect.top, layout.Cells[static_cast<size_t>(i)], sourceDC.DC(), src.left,
                    src.top, mode, key) &&
           ok;
    return ok;
  }
  // Alpha: every cell is blended into a copy of the destination area, which then goes
  // back in one blit (so a clipping region applies once, to the finished area).
  TMemoryDC work(dc, CreateDib(w, h, 32));
  if (!work) return false;
  SetStretchBltMode(work.DC(), COLORONCOLOR);
  if (!BitBlt(work.DC(), 0, 0, w, h, dc, destRect.left, destRect.top, SRCCOPY)) return false;
  for (int32_t i = 0; i < layout.Count; ++i)
    ok = DrawCell(work.DC(), 0, 0, layout.Cells[static_cast<size_t>(i)], sourceDC.DC(), src.left, src.top, pmAlpha,
                  key) &&
         ok;
  return BitBlt(dc, destRect.left, destRect.top, w, h, work.DC(), 0, 0, SRCCOPY) != FALSE && ok;
}

}  // namespace skin
