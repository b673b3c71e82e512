// Owning GDI handles: each wrapper releases its handle with the call that matches how it
// was made (DeleteDC for a memory context, ReleaseDC for a window's or the screen's,
// DeleteObject for bitmaps, regions, brushes, pens, fonts and palettes), on every path.
// Move-only; a moved-from or reset wrapper holds null. TSelectObject puts back what a
// context had selected before. Any thread, but GDI objects belong to one thread at a time.
#pragma once

#include <windows.h>

#include <cstdint>
#include <utility>

namespace ui {

template <class THandle, class TFree>
class TGdiHandle {
 public:
  TGdiHandle() = default;
  explicit TGdiHandle(THandle handle) : FHandle(handle) {}
  ~TGdiHandle() { Reset(); }
  TGdiHandle(TGdiHandle&& other) noexcept : FHandle(other.Release()) {}
  TGdiHandle& operator=(TGdiHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  TGdiHandle(const TGdiHandle&) = delete;
  TGdiHandle& operator=(const TGdiHandle&) = delete;

  THandle Get() const { return FHandle; }
  explicit operator bool() const { return FHandle != nullptr; }
  // Hands the handle to the caller, who releases it from now on.
  THandle Release() { return std::exchange(FHandle, nullptr); }
  // Releases the handle held and takes the new one.
  void Reset(THandle handle = nullptr) {
    if (THandle old = std::exchange(FHandle, handle)) TFree{}(old);
  }

 private:
  THandle FHandle = nullptr;
};

struct TDeleteGdiObject {
  void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
struct TDeleteDC {
  void operator()(HDC dc) const { DeleteDC(dc); }
};

// A memory context from CreateCompatibleDC. Whatever was selected into it must be back
// out (TSelectObject) before it goes.
using TOwnedDC = TGdiHandle<HDC, TDeleteDC>;
using TOwnedGdiObject = TGdiHandle<HGDIOBJ, TDeleteGdiObject>;
using TOwnedBitmap = TGdiHandle<HBITMAP, TDeleteGdiObject>;
using TOwnedRegion = TGdiHandle<HRGN, TDeleteGdiObject>;
using TOwnedBrush = TGdiHandle<HBRUSH, TDeleteGdiObject>;
using TOwnedPen = TGdiHandle<HPEN, TDeleteGdiObject>;
using TOwnedFont = TGdiHandle<HFONT, TDeleteGdiObject>;
using TOwnedPalette = TGdiHandle<HPALETTE, TDeleteGdiObject>;

// The context of a window (null: the screen) from GetDC, given back with ReleaseDC to the
// same window. Null when GetDC failed.
class TWindowDC {
 public:
  explicit TWindowDC(HWND window = nullptr) : FWindow(window), FDC(GetDC(window)) {}
  ~TWindowDC() {
    if (FDC) ReleaseDC(FWindow, FDC);
  }
  TWindowDC(TWindowDC&& other) noexcept : FWindow(other.FWindow), FDC(std::exchange(other.FDC, nullptr)) {}
  TWindowDC& operator=(TWindowDC&&) = delete;
  TWindowDC(const TWindowDC&) = delete;
  TWindowDC& operator=(const TWindowDC&) = delete;

  HDC Get() const { return FDC; }
  explicit operator bool() const { return FDC != nullptr; }

 private:
  HWND FWindow;
  HDC FDC;
};

// Selects a bitmap, brush, pen or font into a context for the guard's lifetime and puts
// the previous one back at its end. Selected() is false when the context or the object
// was null or GDI refused the selection (a bitmap held by another context, one of the
// wrong format); nothing is put back then. Not for regions: SelectObject of a region
// copies it and returns no previous object.
class TSelectObject {
 public:
  TSelectObject(HDC dc, HGDIOBJ object) : FDC(dc) {
    HGDIOBJ old = dc && object ? SelectObject(dc, object) : nullptr;
    FOld = old == HGDI_ERROR ? nullptr : old;
  }
  ~TSelectObject() { Restore(); }
  TSelectObject(const TSelectObject&) = delete;
  TSelectObject& operator=(const TSelectObject&) = delete;

  bool Selected() const { return FOld != nullptr; }
  // Puts the previous object back now (the guard then does nothing more).
  void Restore() {
    if (FOld) SelectObject(FDC, std::exchange(FOld, nullptr));
  }

 private:
  HDC FDC;
  HGDIOBJ FOld;
};

// The screen's vertical pixels per inch (96 when the screen cannot say).
inline int32_t ScreenPixelsPerInch() {
  TWindowDC screen;
  int32_t dpi = screen ? GetDeviceCaps(screen.Get(), LOGPIXELSY) : 96;
  return dpi > 0 ? dpi : 96;
}

}  // namespace ui
