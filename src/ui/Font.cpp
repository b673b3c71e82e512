#include "ui/Font.h"

namespace ui {

TFont::TFont() {
  HDC screen = GetDC(nullptr);
  FPixelsPerInch = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen) ReleaseDC(nullptr, screen);
  if (FPixelsPerInch <= 0) FPixelsPerInch = 96;
  FHeight = -MulDiv(8, FPixelsPerInch, 72);
}

void TFont::SetName(const std::string& name) {
  if (name == FName) return;
  FName = name;
  Changed();
}

int32_t TFont::Size() const { return -MulDiv(FHeight, 72, FPixelsPerInch); }

void TFont::SetSize(int32_t points) { SetHeight(-MulDiv(points, FPixelsPerInch, 72)); }

void TFont::SetHeight(int32_t pixels) {
  if (pixels == FHeight) return;
  FHeight = pixels;
  Changed();
}

void TFont::SetColor(TColor color) {
  if (color == FColor) return;
  FColor = color;
  Changed();
}

void TFont::SetStyle(uint8_t style) {
  style &= fsBold | fsItalic | fsUnderline | fsStrikeOut;
  if (style == FStyle) return;
  FStyle = style;
  Changed();
}

void TFont::SetCharset(uint8_t charset) {
  if (charset == FCharset) return;
  FCharset = charset;
  Changed();
}

HGDIOBJ TFont::CreateHandle(bool& owned) {
  LOGFONTA lf{};
  lf.lfHeight = FHeight;
  lf.lfWeight = (FStyle & fsBold) ? FW_BOLD : FW_NORMAL;
  lf.lfItalic = (FStyle & fsItalic) ? TRUE : FALSE;
  lf.lfUnderline = (FStyle & fsUnderline) ? TRUE : FALSE;
  lf.lfStrikeOut = (FStyle & fsStrikeOut) ? TRUE : FALSE;
  lf.lfCharSet = FCharset;
  lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
  lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  lf.lfQuality = DEFAULT_QUALITY;
  lf.lfPitchAndFamily = DEFAULT_PITCH;
  lstrcpynA(lf.lfFaceName, FName.c_str(), LF_FACESIZE);
  owned = true;
  return CreateFontIndirectA(&lf);
}

}  // namespace ui
