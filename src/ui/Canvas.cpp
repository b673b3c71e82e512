#include "ui/Canvas.h"

#include "ui/Brush.h"
#include "ui/Font.h"
#include "ui/GdiHandles.h"
#include "ui/Pen.h"

namespace ui {

COLORREF ColorToRGB(TColor color) {
  if (color < 0) return GetSysColor(color & 0xFF);
  return static_cast<COLORREF>(color);
}

TCanvas::TCanvas(HDC dc) : FHandle(dc) {}

TCanvas::~TCanvas() {
  for (int tool = 0; tool < ttCount; ++tool) Deselect(static_cast<TTool>(tool));
}

void TCanvas::SetHandle(HDC dc) {
  if (dc == FHandle) return;
  for (int tool = 0; tool < ttCount; ++tool) Deselect(static_cast<TTool>(tool));
  FHandle = dc;
}

TFont& TCanvas::Font() {
  if (!FFont) {
    FFont = std::make_unique<TFont>();
    FFont->OnChange = base::Method<&TCanvas::ToolChanged>(this);
  }
  return *FFont;
}

TPen& TCanvas::Pen() {
  if (!FPen) {
    FPen = std::make_unique<TPen>();
    FPen->OnChange = base::Method<&TCanvas::ToolChanged>(this);
  }
  return *FPen;
}

TBrush& TCanvas::Brush() {
  if (!FBrush) {
    FBrush = std::make_unique<TBrush>();
    FBrush->OnChange = base::Method<&TCanvas::ToolChanged>(this);
  }
  return *FBrush;
}

void TCanvas::Select(TTool tool) {
  if (!FHandle || FOld[tool]) return;
  HGDIOBJ handle = tool == ttFont ? Font().Handle() : tool == ttPen ? Pen().Handle() : Brush().Handle();
  HGDIOBJ old = handle ? SelectObject(FHandle, handle) : nullptr;
  if (old && old != HGDI_ERROR) FOld[tool] = old;
}

void TCanvas::Deselect(TTool tool) {
  if (FOld[tool] && FHandle) SelectObject(FHandle, FOld[tool]);
  FOld[tool] = nullptr;
}

void TCanvas::ToolChanged(base::TObject* sender) {
  // The tool is about to release its GDI object: the context must not hold it.
  if (sender == FFont.get()) Deselect(ttFont);
  if (sender == FPen.get()) Deselect(ttPen);
  if (sender == FBrush.get()) Deselect(ttBrush);
}

void TCanvas::FillRect(const RECT& rect, TColor color) {
  if (!FHandle) return;
  TOwnedBrush brush(CreateSolidBrush(ColorToRGB(color)));
  if (brush) ::FillRect(FHandle, &rect, brush.Get());
}

void TCanvas::FillRect(const RECT& rect) {
  if (!FHandle || Brush().Style() == bsClear) return;
  if (HBRUSH brush = Brush().Brush()) ::FillRect(FHandle, &rect, brush);
}

void TCanvas::Rectangle(const RECT& rect) {
  if (!FHandle) return;
  Select(ttPen);
  Select(ttBrush);
  ::Rectangle(FHandle, rect.left, rect.top, rect.right, rect.bottom);
}

void TCanvas::MoveTo(int32_t x, int32_t y) {
  if (FHandle) MoveToEx(FHandle, x, y, nullptr);
}

void TCanvas::LineTo(int32_t x, int32_t y) {
  if (!FHandle) return;
  Select(ttPen);
  ::LineTo(FHandle, x, y);
}

void TCanvas::TextAt(int32_t x, int32_t y, const std::string& text) {
  if (!FHandle) return;
  Select(ttFont);
  SetTextColor(FHandle, ColorToRGB(Font().Color()));
  if (Brush().Style() == bsClear) {
    SetBkMode(FHandle, TRANSPARENT);
  } else {
    SetBkMode(FHandle, OPAQUE);
    SetBkColor(FHandle, ColorToRGB(Brush().Color()));
  }
  ::TextOutA(FHandle, x, y, text.data(), static_cast<int>(text.size()));
}

SIZE TCanvas::TextExtent(const std::string& text) {
  SIZE size{0, 0};
  if (!FHandle) return size;
  Select(ttFont);
  GetTextExtentPoint32A(FHandle, text.data(), static_cast<int>(text.size()), &size);
  return size;
}

}  // namespace ui
