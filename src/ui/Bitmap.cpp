#include "ui/Bitmap.h"

#include <cstring>
#include <vector>

#include "base/Exceptions.h"

namespace ui {

TBitmap::TBitmap() : FDC(CreateCompatibleDC(nullptr)), FCanvas(FDC.Get()) {
  if (!FDC) base::RaiseLastOSError();
}

TBitmap::~TBitmap() {
  FCanvas.SetHandle(nullptr);  // the canvas's font, pen and brush leave the context first
  SetHandle(nullptr);
}

void TBitmap::SetHandle(HBITMAP bitmap) {
  TOwnedBitmap old(ReleaseHandle());
  if (old.Get() == bitmap) old.Release();  // the same bitmap again: kept, not deleted
  FHandle.Reset(bitmap);
  if (!bitmap) return;
  BITMAP info{};
  GetObject(bitmap, sizeof info, &info);
  FWidth = info.bmWidth;
  FHeight = info.bmHeight;
  FSelection.emplace(FDC.Get(), bitmap);
}

HBITMAP TBitmap::ReleaseHandle() {
  FSelection.reset();
  FWidth = FHeight = 0;
  return FHandle.Release();
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
  TOwnedBitmap h(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!h) base::RaiseLastOSError();
  SetHandle(h.Release());
}

uint8_t* TBitmap::Bits() const {
  if (!FHandle) return nullptr;
  DIBSECTION ds{};
  if (GetObject(FHandle.Get(), sizeof ds, &ds) != sizeof ds) return nullptr;
  return static_cast<uint8_t*>(ds.dsBm.bmBits);
}

void TBitmap::Draw(TCanvas& canvas, const RECT& rect) {
  if (!FHandle || !canvas.Handle()) return;
  StretchBlt(canvas.Handle(), rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, FDC.Get(), 0, 0,
             FWidth, FHeight, SRCCOPY);
}

}  // namespace ui

namespace ui {
namespace {

[[noreturn]] void InvalidBitmap() { throw EInvalidGraphic("Bitmap image is not valid"); }

// The largest picture a BMP stream may describe; keeps a hostile header from asking
// for gigabytes.
constexpr int64_t kMaxBmpPixels = 64 * 1024 * 1024;

}  // namespace

void TBitmap::SetPalette(HPALETTE palette) {
  if (palette != FPalette.Get()) FPalette.Reset(palette);
}

void TBitmap::SetSize(int32_t width, int32_t height) {
  if (width <= 0 || height <= 0) {
    SetHandle(nullptr);
    return;
  }
  SetSize32(width, height);
  Changed(this);
}

void TBitmap::LoadFromStream(base::TStream& stream) {
  int64_t available = stream.Size() - stream.Position();
  if (available < static_cast<int64_t>(sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)) ||
      available > kMaxBmpPixels * 4 + 4096)
    InvalidBitmap();
  std::vector<uint8_t> file(static_cast<size_t>(available));
  stream.ReadBuffer(file.data(), static_cast<int32_t>(file.size()));
  BITMAPFILEHEADER fh;
  std::memcpy(&fh, file.data(), sizeof fh);
  BITMAPINFOHEADER ih;
  std::memcpy(&ih, file.data() + sizeof fh, sizeof ih);
  if (fh.bfType != 0x4D42 || ih.biSize < sizeof(BITMAPINFOHEADER) || ih.biSize > 124 || ih.biPlanes != 1 ||
      ih.biWidth <= 0 || ih.biHeight == 0 || ih.biHeight == INT32_MIN)
    InvalidBitmap();
  int64_t width = ih.biWidth, height = ih.biHeight < 0 ? -int64_t{ih.biHeight} : ih.biHeight;
  if (width * height > kMaxBmpPixels) InvalidBitmap();
  int bits = ih.biBitCount;
  bool bitfields = ih.biCompression == BI_BITFIELDS && (bits == 16 || bits == 32);
  if ((bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) ||
      (ih.biCompression != BI_RGB && !bitfields))
    InvalidBitmap();
  int64_t colors = bits <= 8 ? (ih.biClrUsed ? ih.biClrUsed : (1 << bits)) : 0;
  if (colors > (1 << bits) && bits <= 8) InvalidBitmap();
  int64_t masks = bitfields && ih.biSize == sizeof(BITMAPINFOHEADER) ? 3 * 4 : 0;
  int64_t headerEnd = static_cast<int64_t>(sizeof fh) + ih.biSize + masks + colors * 4;
  int64_t stride = (width * bits + 31) / 32 * 4;
  if (headerEnd > available || fh.bfOffBits < headerEnd || stride * height > available - fh.bfOffBits) InvalidBitmap();
  // The info block as CreateDIBSection reads it: header, masks, colour table.
  std::vector<uint8_t> info(file.begin() + sizeof fh, file.begin() + headerEnd);
  void* bits0 = nullptr;
  TOwnedBitmap h(
      CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(info.data()), DIB_RGB_COLORS, &bits0, nullptr, 0));
  if (!h || !bits0) base::RaiseLastOSError();
  std::memcpy(bits0, file.data() + fh.bfOffBits, static_cast<size_t>(stride * height));
  GdiFlush();
  TOwnedPalette palette;
  if (colors > 0) {
    std::vector<uint8_t> lp(sizeof(LOGPALETTE) + static_cast<size_t>(colors) * sizeof(PALETTEENTRY));
    auto* log = reinterpret_cast<LOGPALETTE*>(lp.data());
    log->palVersion = 0x300;
    log->palNumEntries = static_cast<WORD>(colors);
    const uint8_t* table = file.data() + sizeof fh + ih.biSize + masks;
    for (int64_t i = 0; i < colors; ++i) {
      PALETTEENTRY& e = log->palPalEntry[i];
      e.peBlue = table[i * 4];
      e.peGreen = table[i * 4 + 1];
      e.peRed = table[i * 4 + 2];
      e.peFlags = 0;
    }
    palette.Reset(CreatePalette(log));
  }
  SetHandle(h.Release());
  SetPalette(palette.Release());
  Changed(this);
}

void TBitmap::SaveToStream(base::TStream& stream) {
  BITMAPINFOHEADER ih{sizeof(BITMAPINFOHEADER), FWidth, FHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  size_t bytes = static_cast<size_t>(FWidth) * static_cast<size_t>(FHeight) * 4;
  std::vector<uint8_t> pixels(bytes);
  if (FHandle && bytes > 0) {
    // GetDIBits wants the bitmap out of the device context.
    FSelection.reset();
    BITMAPINFO bi{};
    bi.bmiHeader = ih;
    int rows = GetDIBits(FDC.Get(), FHandle.Get(), 0, static_cast<UINT>(FHeight), pixels.data(), &bi, DIB_RGB_COLORS);
    FSelection.emplace(FDC.Get(), FHandle.Get());
    if (rows != FHeight) base::RaiseLastOSError();
  }
  ih.biSizeImage = static_cast<DWORD>(bytes);
  BITMAPFILEHEADER fh{};
  fh.bfType = 0x4D42;
  fh.bfOffBits = sizeof fh + sizeof ih;
  fh.bfSize = static_cast<DWORD>(fh.bfOffBits + bytes);
  stream.WriteBuffer(&fh, sizeof fh);
  stream.WriteBuffer(&ih, sizeof ih);
  if (bytes > 0) stream.WriteBuffer(pixels.data(), static_cast<int32_t>(bytes));
}

}  // namespace ui
