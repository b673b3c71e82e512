// The skin painter: draws a rectangle of a skin image onto a device context as a
// nine-cell grid (corners kept, edges and centre stretched) in one of three modes
// (opaque, colour key, per-pixel alpha), and the bitmap helpers around it. Windows (GDI)
// only; the geometry is NineGrid.h, the blending arithmetic blend/BlendLine.h.
//
// The painting routines report failure as false and never raise: empty sizes, failed
// blits, failed bitmap creation. Every temporary DC and bitmap is released on all paths.
// GUI thread (or any one thread per DC).
#pragma once

#include <windows.h>

#include <cstdint>

#include "skin/NineGrid.h"
#include "ui/Bitmap.h"
#include "ui/GdiHandles.h"

namespace skin {

enum PaintMode : uint8_t { pmOpaque = 0, pmColorKey = 1, pmAlpha = 2 };

// SoftAlphaBlend's descriptor: bits 24-31 the alpha format (0 constant alpha only, 1
// per-pixel alpha), bits 16-23 the constant alpha.
constexpr uint32_t MakeBlendDescriptor(uint8_t format, uint8_t constant) {
  return uint32_t{format} << 24 | uint32_t{constant} << 16;
}
// What the painter always uses: per-pixel alpha, constant 255.
constexpr uint32_t kPerPixelAlpha = 0x01FF0000;

// Paints sourceRect of source (a GDI bitmap selected into no DC; sourceRect is clipped
// to the bitmap) into destRect of dc
// with the cells of selector, in mode (key: the colour key of pmColorKey, plain RGB).
// clip, when given, limits the painting (logical coordinates of dc); the DC's clipping
// region and stretch mode are as before afterwards. Alpha is applied at the
// destination's size. False for an empty destination or source, an unknown mode or
// selector, or a failed blit (mode 2: the final copy back).
bool NineGridPaint(HDC dc, const RECT& destRect, HBITMAP source, const RECT* clip, uint8_t selector, COLORREF key,
                   uint8_t mode, const TGridMargins& destMargins, const TGridMargins& sourceMargins,
                   const RECT& sourceRect);

// Stretches the source area onto the destination area; source pixels of the key colour
// leave the destination unchanged, all others replace it (the destination's alpha byte
// is not kept). False when a size is 0 or negative or a blit fails.
bool TransparentStretch(HDC dest, int32_t x, int32_t y, int32_t width, int32_t height, HDC source, int32_t sx,
                        int32_t sy, int32_t sw, int32_t sh, COLORREF key);

// Blends the source area over the destination area (bytes blue, green, red, alpha; not
// premultiplied). Directly in the two DIB sections when both are 32-bit, the sizes are
// equal, both areas lie inside their bitmaps and the destination has no clipping region;
// otherwise through two 32-bit copies of the destination's size, where a source that is
// not 32-bit counts as opaque. False for an empty destination or a failed blit.
bool SoftAlphaBlend(HDC dest, int32_t x, int32_t y, int32_t width, int32_t height, HDC source, int32_t sx, int32_t sy,
                    int32_t sw, int32_t sh, uint32_t blend);

// Sets the alpha byte of every pixel of rect (clipped to the bitmap) to alpha; only
// 32-bit DIB sections are touched, an empty rectangle changes nothing. Rows count from
// the top as GDI draws them; for a bitmap selected into some DC that cannot be told, and
// a positive height in the bitmap's header means bottom-up.
void SetAlphaInRect(HBITMAP bitmap, const RECT& rect, uint8_t alpha);

// dest becomes a DIB section of rect's size (rect clipped to the source) in the source's
// pixel format (palette and bit masks included), holding that part of the source (rows
// as for SetAlphaInRect). False when the source is no DIB section or nothing of rect lies
// inside it.
bool CopyBitmapRect(HBITMAP source, const RECT& rect, ui::TBitmap& dest);

// A new top-down DIB section of the given size and 24 or 32 bits per pixel, all zero;
// bits receives its pixels. Null on failure.
ui::TOwnedBitmap CreateDib(int32_t width, int32_t height, int32_t bitsPerPixel, void** bits = nullptr);

}  // namespace skin
