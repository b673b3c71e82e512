#include "ui/Bitmap.h"

#include "base/Exceptions.h"

namespace ui {

TBitmap::TBitmap() : FDC(CreateCompatibleDC(nullptr)), FCanvas(FDC) {
  if (!FDC) base::RaiseLastOSError();
}

TBitmap::~TBitmap() {
  SetHandle(nullptr);
  DeleteDC(FDC);
}

void TBitmap::SetHandle(HBITMAP bitmap) {
  if (FOldBitmap) SelectObject(FDC, FOldBitmap);
  FOldBitmap = nullptr;
  if (FHandle && FHandle != bitmap) DeleteObject(FHandle);
  FHandle = bitmap;
  FWidth = FHeight = 0;
  if (!bitmap) return;
  BITMAP info{};
  GetObject(bitmap, sizeof info, &info);
  FWidth = info.bmWidth;
  FHeight = info.bmHeight;
  FOldBitmap = SelectObject(FDC, bitmap);
}

HBITMAP TBitmap::ReleaseHandle() {
  HBITMAP h = FHandle;
  if (FOldBitmap) SelectObject(FDC, FOldBitmap);
  FOldBitmap = nullptr;
  FHandle = nullptr;
  FWidth = FHeight = 0;
  return h;
}

void TBitmap::SetSize32(int32_t width, int32_t height) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = -height;  // top-down
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP h = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!h) base::RaiseLastOSError();
  SetHandle(h);
}

uint8_t* TBitmap::Bits() const {
  if (!FHandle) return nullptr;
  DIBSECTION ds{};
  if (GetObject(FHandle, sizeof ds, &ds) != sizeof ds) return nullptr;
  return static_cast<uint8_t*>(ds.dsBm.bmBits);
}

void TBitmap::Draw(TCanvas& canvas, const RECT& rect) {
  if (!FHandle || !canvas.Handle()) return;
  StretchBlt(canvas.Handle(), rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, FDC, 0, 0, FWidth,
             FHeight, SRCCOPY);
}

}  // namespace ui
