#include "ui/Font.h"

namespace ui {

TFont::TFont() : FPixelsPerInch(ScreenPixelsPerInch()), FHeight(-MulDiv(8, FPixelsPerInch, 72)) {}

int32_t TFont::Size() const { return -MulDiv(FHeight, 72, FPixelsPerInch); }

void TFont::SetSize(int32_t points) { SetHeight(-MulDiv(points, FPixelsPerInch, 72)); }

void TFont::SetStyle(uint8_t style) {
  Assign(FStyle, static_cast<uint8_t>(style & (fsBold | fsItalic | fsUnderline | fsStrikeOut)));
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
