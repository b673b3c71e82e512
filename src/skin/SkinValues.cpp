#include "skin/SkinValues.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "base/Strings.h"

namespace skin {

namespace {

struct TKeyword {
  const char* Name;
  int32_t Value;
};

// Standard colour names. System colours are 0xFF000000 | the system colour index.
constexpr int32_t Sys(int32_t index) { return static_cast<int32_t>(0xFF000000u | static_cast<uint32_t>(index)); }
constexpr TKeyword kColors[] = {
    {"clBlack", 0x000000},
    {"clMaroon", 0x000080},
    {"clGreen", 0x008000},
    {"clOlive", 0x008080},
    {"clNavy", 0x800000},
    {"clPurple", 0x800080},
    {"clTeal", 0x808000},
    {"clGray", 0x808080},
    {"clSilver", 0xC0C0C0},
    {"clRed", 0x0000FF},
    {"clLime", 0x00FF00},
    {"clYellow", 0x00FFFF},
    {"clBlue", 0xFF0000},
    {"clFuchsia", 0xFF00FF},
    {"clAqua", 0xFFFF00},
    {"clLtGray", 0xC0C0C0},
    {"clDkGray", 0x808080},
    {"clWhite", 0xFFFFFF},
    {"clMoneyGreen", 0xC0DCC0},
    {"clSkyBlue", 0xF0CAA6},
    {"clCream", 0xF0FBFF},
    {"clMedGray", 0xA4A0A0},
    {"clNone", ColorNotSet},
    {"clDefault", ColorDefault},
    {"clScrollBar", Sys(0)},
    {"clBackground", Sys(1)},
    {"clActiveCaption", Sys(2)},
    {"clInactiveCaption", Sys(3)},
    {"clMenu", Sys(4)},
    {"clWindow", Sys(5)},
    {"clWindowFrame", Sys(6)},
    {"clMenuText", Sys(7)},
    {"clWindowText", Sys(8)},
    {"clCaptionText", Sys(9)},
    {"clActiveBorder", Sys(10)},
    {"clInactiveBorder", Sys(11)},
    {"clAppWorkSpace", Sys(12)},
    {"clHighlight", Sys(13)},
    {"clHighlightText", Sys(14)},
    {"clBtnFace", Sys(15)},
    {"clBtnShadow", Sys(16)},
    {"clGrayText", Sys(17)},
    {"clBtnText", Sys(18)},
    {"clInactiveCaptionText", Sys(19)},
    {"clBtnHighlight", Sys(20)},
    {"cl3DDkShadow", Sys(21)},
    {"cl3DLight", Sys(22)},
    {"clInfoText", Sys(23)},
    {"clInfoBk", Sys(24)},
    {"clHotLight", Sys(26)},
    {"clGradientActiveCaption", Sys(27)},
    {"clGradientInactiveCaption", Sys(28)},
    {"clMenuHighlight", Sys(29)},
    {"clMenuBar", Sys(30)},
};

constexpr TKeyword kCharsets[] = {
    {"ANSI_CHARSET", 0},          {"DEFAULT_CHARSET", 1},      {"SYMBOL_CHARSET", 2},    {"MAC_CHARSET", 77},
    {"SHIFTJIS_CHARSET", 128},    {"HANGEUL_CHARSET", 129},    {"JOHAB_CHARSET", 130},   {"GB2312_CHARSET", 134},
    {"CHINESEBIG5_CHARSET", 136}, {"GREEK_CHARSET", 161},      {"TURKISH_CHARSET", 162}, {"VIETNAMESE_CHARSET", 163},
    {"HEBREW_CHARSET", 177},      {"ARABIC_CHARSET", 178},     {"BALTIC_CHARSET", 186},  {"RUSSIAN_CHARSET", 204},
    {"THAI_CHARSET", 222},        {"EASTEUROPE_CHARSET", 238}, {"OEM_CHARSET", 255},
};

constexpr TKeyword kFillModes[] = {
    {"none", sfmNone},     {"False", sfmNone}, {"stretch", sfmStretch},         {"True", sfmStretch},
    {"center", sfmCenter}, {"tile", sfmTile},  {"HCenterTile", sfmHCenterTile}, {"VCenterTile", sfmVCenterTile}};
constexpr TKeyword kTransparentModes[] = {{"Mask", stmMask}, {"Alpha", stmAlpha}};
constexpr TKeyword kStateShapes[] = {{"image", sssImage},
                                     {"box", sssBox},
                                     {"rectangle", sssBox},
                                     {"roundrect", sssRoundRect},
                                     {"ellipse", sssEllipse},
                                     {"horizontalline", sssHorizontalLine},
                                     {"verticalline", sssVerticalLine}};
constexpr TKeyword kShadowStyles[] = {{"offset", ssOffset}, {"double", ssDouble}};
constexpr TKeyword kControlShapes[] = {
    {"Rect", scsRect}, {"RoundRect", scsRoundRect}, {"Ellipse", scsEllipse}, {"Auto", scsAuto}};
constexpr TKeyword kPenStyles[] = {{"solid", 0},       {"dash", 1},       {"dot", 2},
                                   {"dashdot", 3},     {"dashdotdot", 4}, {"clear", 5},
                                   {"insideframe", 6}, {"userstyle", 7},  {"alternate", 8}};
constexpr TKeyword kBrushStyles[] = {{"solid", 0},     {"clear", 1},     {"horizontal", 2}, {"vertical", 3},
                                     {"fdiagonal", 4}, {"bdiagonal", 5}, {"cross", 6},      {"diagcross", 7}};

template <size_t N>
bool Lookup(const TKeyword (&table)[N], std::string_view text, int32_t& value) {
  for (const TKeyword& k : table)
    if (base::SameText(k.Name, text)) {
      value = k.Value;
      return true;
    }
  return false;
}

template <size_t N>
uint8_t Keyword(const TKeyword (&table)[N], std::string_view text, uint8_t def) {
  int32_t v;
  return Lookup(table, text, v) ? static_cast<uint8_t>(v) : def;
}

int32_t Saturate(int64_t v) {
  return static_cast<int32_t>(
      std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

}  // namespace

int32_t ParseInteger(std::string_view text, int32_t def) {
  int32_t v;
  return base::TryStrToInt(text, v) ? v : def;
}

bool ParseBoolean(std::string_view text, bool def) {
  if (base::SameText(text, "True")) return true;
  if (base::SameText(text, "False")) return false;
  int64_t v;
  return base::TryStrToInt64(text, v) ? v != 0 : def;
}

bool TryParseColor(std::string_view text, TColor& color) {
  if (Lookup(kColors, text, color)) return true;
  int64_t v;
  if (!base::TryStrToInt64(text, v) || v < std::numeric_limits<int32_t>::min() || v > 0xFFFFFFFFll) return false;
  color = static_cast<TColor>(static_cast<uint32_t>(v));
  return true;
}

TColor ParseColor(std::string_view text, TColor def) {
  if (text.empty()) return def;
  TColor c;
  if (!TryParseColor(text, c)) throw ESkinError("'" + std::string(text) + "' is not a valid color");
  return c;
}

uint8_t ParseCharset(std::string_view text) {
  int32_t v;
  if (Lookup(kCharsets, text, v)) return static_cast<uint8_t>(v);
  return base::TryStrToInt(text, v) ? static_cast<uint8_t>(v) : 0;
}

uint8_t ParseFillMode(std::string_view text) { return Keyword(kFillModes, text, sfmUnspecified); }
uint8_t ParseTransparentMode(std::string_view text) { return Keyword(kTransparentModes, text, stmNone); }
uint8_t ParseKeepingSize(std::string_view text) {
  return base::SameText(text, "Window") ? uint8_t{sksWindow} : uint8_t{sksClient};
}
uint8_t ParseStateShape(std::string_view text) { return Keyword(kStateShapes, text, sssImage); }
uint8_t ParseShadowStyle(std::string_view text) {
  return text.empty() ? uint8_t{ssOffset} : Keyword(kShadowStyles, text, ssNone);
}
uint8_t ParseControlShape(std::string_view text) { return Keyword(kControlShapes, text, scsNone); }
uint8_t ParsePenStyle(std::string_view text) { return Keyword(kPenStyles, text, 0); }
uint8_t ParseBrushStyle(std::string_view text) { return Keyword(kBrushStyles, text, 0); }

uint8_t ParseFontStyle(std::string_view text) {
  std::string lower = base::LowerCase(text);
  uint8_t style = 0;
  if (lower.find("bold") != std::string::npos) style |= fsBold;
  if (lower.find("italic") != std::string::npos) style |= fsItalic;
  if (lower.find("underline") != std::string::npos) style |= fsUnderline;
  if (lower.find("strikeout") != std::string::npos) style |= fsStrikeOut;
  return style;
}

int32_t ScaleForScreen(int32_t v, int32_t pixelsPerInch) {
  int64_t num = static_cast<int64_t>(v) * pixelsPerInch;
  int64_t q = (std::llabs(num) + 48) / 96;
  return Saturate(num < 0 ? -q : q);
}

void ParseRectList(std::string_view text, TSkinRect& rect) {
  std::vector<std::string> values = base::SplitString(text, ',');
  for (size_t i = 0; i < 4; ++i) {
    int32_t v;
    if (i >= values.size() || !base::TryStrToInt(values[i], v) || v == -1) return;
    switch (i) {
      case 0: rect.Left = v; break;
      case 1: rect.Top = v; break;
      case 2: rect.Right = Saturate(int64_t{rect.Left} + v); break;
      case 3: rect.Bottom = Saturate(int64_t{rect.Top} + v); break;
    }
  }
}

std::string ImageTypeOf(std::string_view name) {
  size_t dot = name.find_last_of(".\\:");
  if (dot == std::string_view::npos || name[dot] != '.') return {};
  return std::string(name.substr(dot + 1));
}

}  // namespace skin
