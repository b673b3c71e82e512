// The value syntax of skin description files: integers, booleans, colours, the keyword
// tables, screen scaling of lengths and the rect list of slices. Pure functions; every
// parser takes the attribute text already converted to the system code page.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace skin {

// Platform colour values: 0x00BBGGRR, negative values name system colours.
using TColor = int32_t;
constexpr TColor ColorNotSet = 0x1FFFFFFF;   // "clNone": not specified, do not apply
constexpr TColor ColorDefault = 0x20000000;  // use the default
constexpr TColor clFuchsia = 0x00FF00FF;

struct TSkinRect {
  int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
  bool Empty() const { return Left >= Right || Top >= Bottom; }
  friend bool operator==(const TSkinRect&, const TSkinRect&) = default;
};

// Thrown for a colour text that is neither a colour name nor an integer; it makes the
// whole description file fail to load.
class ESkinError : public std::exception {
 public:
  explicit ESkinError(std::string message) : FMessage(std::move(message)) {}
  const char* what() const noexcept override { return FMessage.c_str(); }

 private:
  std::string FMessage;
};

// Signed decimal or "$" hexadecimal; def when the text does not parse.
int32_t ParseInteger(std::string_view text, int32_t def);
// "True"/"False" in any case or a number (non-zero is true); def otherwise.
bool ParseBoolean(std::string_view text, bool def);
// A colour name of the standard table or an integer (hexadecimal up to $FFFFFFFF);
// false for anything else, empty text included.
bool TryParseColor(std::string_view text, TColor& color);
// As TryParseColor; empty text gives def, an invalid one raises ESkinError.
TColor ParseColor(std::string_view text, TColor def);
// The standard charset identifiers ("ANSI_CHARSET", ...), else an integer, else 0.
uint8_t ParseCharset(std::string_view text);

enum : uint8_t {
  sfmUnspecified = 0,
  sfmNone = 1,
  sfmStretch = 2,
  sfmCenter = 3,
  sfmTile = 4,
  sfmHCenterTile = 5,
  sfmVCenterTile = 6
};
enum : uint8_t { stmNone = 0, stmMask = 1, stmAlpha = 2 };
enum : uint8_t { sksClient = 1, sksWindow = 2 };
enum : uint8_t {
  sssImage = 0,
  sssBox = 1,
  sssRoundRect = 2,
  sssEllipse = 3,
  sssHorizontalLine = 4,
  sssVerticalLine = 5
};
enum : uint8_t { ssNone = 0, ssOffset = 1, ssDouble = 2 };
enum : uint8_t { scsNone = 0, scsRect = 1, scsRoundRect = 2, scsEllipse = 3, scsAuto = 4 };

uint8_t ParseFillMode(std::string_view text);
uint8_t ParseTransparentMode(std::string_view text);
uint8_t ParseKeepingSize(std::string_view text);
uint8_t ParseStateShape(std::string_view text);
uint8_t ParseShadowStyle(std::string_view text);
uint8_t ParseControlShape(std::string_view text);
uint8_t ParsePenStyle(std::string_view text);
uint8_t ParseBrushStyle(std::string_view text);

// Font style bits.
enum : uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
// Substring test on the lower-cased text, so "semibold" counts as bold.
uint8_t ParseFontStyle(std::string_view text);

// v * pixelsPerInch / 96 in 64 bits, rounded to nearest (halves away from zero) and
// saturated to the 32-bit range.
int32_t ScaleForScreen(int32_t v, int32_t pixelsPerInch);

// Comma-separated x, y, w, h stored one by one into rect (left, top, right = left + w,
// bottom = top + h); stops at the first value that is missing, not an integer or -1.
void ParseRectList(std::string_view text, TSkinRect& rect);

// The text after the last "." of a file name, provided no "\" or ":" follows it.
std::string ImageTypeOf(std::string_view name);

}  // namespace skin
