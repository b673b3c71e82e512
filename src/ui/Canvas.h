// A drawing surface over a device context that someone else owns (a window's or a
// bitmap's). The canvas never releases the context. Its font, pen and brush are made on
// first use, selected into the context while it draws with them, and taken out again
// when one of them changes, when the canvas moves to another context, and at its end.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "base/Object.h"

namespace ui {

// 0x00BBGGRR; negative values name system colours (clBtnFace and friends).
using TColor = int32_t;
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clBtnFace = static_cast<TColor>(0x80000000u | COLOR_BTNFACE);

// The RGB value of a colour, resolving system colours.
COLORREF ColorToRGB(TColor color);

class TFont;
class TPen;
class TBrush;

class TCanvas {
 public:
  explicit TCanvas(HDC dc = nullptr);
  ~TCanvas();
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;

  HDC Handle() const { return FHandle; }
  // Draws on dc from now on; the tools leave the previous context first.
  void SetHandle(HDC dc);

  TFont& Font();
  TPen& Pen();
  TBrush& Brush();

  void FillRect(const RECT& rect, TColor color);
  // Fills with the brush (nothing for a clear brush).
  void FillRect(const RECT& rect);
  // Outlined with the pen, filled with the brush; right and bottom are exclusive.
  void Rectangle(const RECT& rect);
  void MoveTo(int32_t x, int32_t y);
  // A line with the pen from the current position to (x, y), which becomes current.
  void LineTo(int32_t x, int32_t y);
  // Text in the font and its colour, its cell's top left at (x, y); the cell's background
  // is the brush's colour, or left as it is with a clear brush. Text is in the system
  // code page.
  void TextAt(int32_t x, int32_t y, const std::string& text);
  // The size of the text's cell in the font (0 x 0 without a context).
  SIZE TextExtent(const std::string& text);

 private:
  enum TTool { ttFont, ttPen, ttBrush, ttCount };
  void Select(TTool tool);
  void Deselect(TTool tool);
  void ToolChanged(base::TObject* sender);

  HDC FHandle;
  std::unique_ptr<TFont> FFont;
  std::unique_ptr<TPen> FPen;
  std::unique_ptr<TBrush> FBrush;
  // The context's own objects while ours are selected in their place.
  HGDIOBJ FOld[ttCount] = {};
};

}  // namespace ui
