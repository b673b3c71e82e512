// TFont: the canvas's text font. Name, size in points (or height in pixels), style,
// character set and the colour text is drawn in; the GDI font is made on first use.
#pragma once

#include <cstdint>
#include <string>

#include "ui/Canvas.h"
#include "ui/GraphicsObject.h"

namespace ui {

// Font style bits.
enum : uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

class TFont : public TGraphicsObject {
 public:
  TFont();

  const std::string& Name() const { return FName; }
  void SetName(const std::string& name) { Assign(FName, name); }
  // Points at the font's pixels per inch; the height in pixels is the negative
  // -Size * PixelsPerInch / 72 (rounded), as GDI takes a character height.
  int32_t Size() const;
  void SetSize(int32_t points);
  // Pixels: negative for the character height, positive for the cell height.
  int32_t Height() const { return FHeight; }
  void SetHeight(int32_t pixels) { Assign(FHeight, pixels); }
  TColor Color() const { return FColor; }
  void SetColor(TColor color) { Assign(FColor, color); }
  uint8_t Style() const { return FStyle; }  // fsBold | fsItalic | fsUnderline | fsStrikeOut
  void SetStyle(uint8_t style);
  uint8_t Charset() const { return FCharset; }
  void SetCharset(uint8_t charset) { Assign(FCharset, charset); }
  // The screen's vertical pixels per inch when the font was made.
  int32_t PixelsPerInch() const { return FPixelsPerInch; }

  HFONT Font() { return static_cast<HFONT>(Handle()); }

 protected:
  HGDIOBJ CreateHandle(bool& owned) override;

 private:
  std::string FName = "Tahoma";
  int32_t FPixelsPerInch;
  int32_t FHeight;
  TColor FColor = clBlack;
  uint8_t FStyle = 0;
  uint8_t FCharset = DEFAULT_CHARSET;
};

}  // namespace ui
