#include <gtest/gtest.h>

#include "skin/SkinImages.h"
#include "skin/SkinValues.h"

using namespace skin;

TEST(SkinValues, IntegersAndBooleans) {
  struct Case {
    const char* text;
    int32_t def, want;
  } ints[] = {{"12", 0, 12}, {"-7", 0, -7},   {"$1F", 0, 31},       {"", 5, 5},
              {"1.5", 5, 5}, {"abc", -1, -1}, {"99999999999", 3, 3}};
  for (const Case& c : ints) EXPECT_EQ(ParseInteger(c.text, c.def), c.want) << c.text;

  struct BCase {
    const char* text;
    bool def, want;
  } bools[] = {{"TRUE", false, true}, {"false", true, false}, {"0", true, false}, {"-3", false, true},
               {"yes", true, true},   {"yes", false, false},  {"", true, true}};
  for (const BCase& c : bools) EXPECT_EQ(ParseBoolean(c.text, c.def), c.want) << c.text;
}

TEST(SkinValues, ColoursNamesAndNumbers) {
  struct Case {
    const char* text;
    TColor want;
  } ok[] = {{"clRed", 0x0000FF},
            {"CLLIME", 0x00FF00},
            {"clNone", ColorNotSet},
            {"clDefault", ColorDefault},
            {"clBtnFace", static_cast<TColor>(0xFF00000F)},
            {"$FF00FF", 0xFF00FF},
            {"$FFFFFFFF", -1},
            {"255", 255},
            {"-16777201", -16777201}};
  for (const Case& c : ok) {
    TColor got = 0;
    EXPECT_TRUE(TryParseColor(c.text, got)) << c.text;
    EXPECT_EQ(got, c.want) << c.text;
  }
  for (const char* bad : {"clReddish", "red", "$1FFFFFFFF", "#FF0000"}) {
    TColor got;
    EXPECT_FALSE(TryParseColor(bad, got)) << bad;
    EXPECT_THROW(ParseColor(bad, 0), ESkinError) << bad;
  }
  EXPECT_EQ(ParseColor("", 42), 42);
}

TEST(SkinValues, KeywordTables) {
  EXPECT_EQ(ParseFillMode("True"), sfmStretch);
  EXPECT_EQ(ParseFillMode("false"), sfmNone);
  EXPECT_EQ(ParseFillMode("HCENTERTILE"), sfmHCenterTile);
  EXPECT_EQ(ParseFillMode("fill"), sfmUnspecified);
  EXPECT_EQ(ParseTransparentMode("alpha"), stmAlpha);
  EXPECT_EQ(ParseTransparentMode("Masked"), stmNone);
  EXPECT_EQ(ParseKeepingSize("window"), sksWindow);
  EXPECT_EQ(ParseKeepingSize("whatever"), sksClient);
  EXPECT_EQ(ParseStateShape("Rectangle"), sssBox);
  EXPECT_EQ(ParseStateShape("VerticalLine"), sssVerticalLine);
  EXPECT_EQ(ParseStateShape("circle"), sssImage);
  EXPECT_EQ(ParseShadowStyle(""), ssOffset);
  EXPECT_EQ(ParseShadowStyle("Double"), ssDouble);
  EXPECT_EQ(ParseShadowStyle("triple"), ssNone);
  EXPECT_EQ(ParseControlShape("roundrect"), scsRoundRect);
  EXPECT_EQ(ParsePenStyle("DashDotDot"), 4);
  EXPECT_EQ(ParsePenStyle("wavy"), 0);
  EXPECT_EQ(ParseBrushStyle("diagcross"), 7);
  EXPECT_EQ(ParseCharset("RUSSIAN_CHARSET"), 204);
  EXPECT_EQ(ParseCharset("134"), 134);
  EXPECT_EQ(ParseCharset("klingon"), 0);
  EXPECT_EQ(ParseFontStyle("Bold Underline"), fsBold | fsUnderline);
  EXPECT_EQ(ParseFontStyle("semibold;strikeout,ITALIC"), fsBold | fsItalic | fsStrikeOut);
  EXPECT_EQ(ParseFontStyle("regular"), 0);
}

TEST(SkinValues, ScaleForScreenRoundsAndSaturates) {
  EXPECT_EQ(ScaleForScreen(4, 144), 6);
  EXPECT_EQ(ScaleForScreen(1, 144), 2);  // 1.5 rounds away from zero
  EXPECT_EQ(ScaleForScreen(-1, 144), -2);
  EXPECT_EQ(ScaleForScreen(5, 120), 6);  // 6.25
  EXPECT_EQ(ScaleForScreen(7, 96), 7);
  EXPECT_EQ(ScaleForScreen(INT32_MAX, 192), INT32_MAX);
  EXPECT_EQ(ScaleForScreen(INT32_MIN, 192), INT32_MIN);
}

TEST(SkinValues, RectListStopsAtFirstBadValue) {
  struct Case {
    const char* text;
    TSkinRect want;
  } cases[] = {{"4,5,10,12", {4, 5, 14, 17}},
               {"4,x,10,12", {4, 0, 0, 0}},
               {"4,5,-1,12", {4, 5, 0, 0}},
               {"4, 5, 10", {4, 5, 14, 0}},
               {"", {0, 0, 0, 0}},
               {"-1,5,10,12", {0, 0, 0, 0}},
               {"2147483647,0,5,5", {INT32_MAX, 0, INT32_MAX, 5}}};
  for (const Case& c : cases) {
    TSkinRect r;
    ParseRectList(c.text, r);
    EXPECT_EQ(r, c.want) << c.text;
  }
}

TEST(SkinValues, ImageTypeAndContainedPaths) {
  EXPECT_EQ(ImageTypeOf("a.b\\pic.PNG"), "PNG");
  EXPECT_EQ(ImageTypeOf("dir.v2\\pic"), "");
  EXPECT_EQ(ImageTypeOf("c:pic"), "");
  EXPECT_EQ(ImageTypeOf("noext"), "");

  // Skin folder "Blue" below the root, the file's folder, the image name: where it lies
  // below the root, or nothing for a refused path.
  struct {
    const char *base, *folder, *name, *want;
  } paths[] = {
      {"Blue", "", "a.bmp", "Blue\\a.bmp"},
      {"Blue", "", "sub/a.bmp", "Blue\\sub\\a.bmp"},
      {"Blue", "sub\\", "a..b.bmp", "Blue\\sub\\a..b.bmp"},
      {"Blue", "", ".hidden.bmp", "Blue\\.hidden.bmp"},
      {"Blue", "", ".\\a.bmp", "Blue\\a.bmp"},
      {"Blue", "", "..\\Shared\\a.bmp", "Shared\\a.bmp"},  // a sibling folder
      {"Blue", "", "..\\a.bmp", "a.bmp"},                  // the root itself
      {"Blue", "sub\\", "..\\..\\Green\\a.bmp", "Green\\a.bmp"},
      {"", "", "sub\\..\\a.bmp", "a.bmp"},
      {"Blue", "", "..\\..\\a.bmp", nullptr},  // above the root
      {"Blue", "", "sub\\..\\..\\..\\a.bmp", nullptr},
      {"Blue", "", "../../etc/passwd", nullptr},
      {"Blue", "..\\..\\", "a.bmp", nullptr},
      {"", "", "..\\a.bmp", nullptr},
      {"Blue", "", "C:\\a.bmp", nullptr},  // drive-qualified
      {"Blue", "", "c:a.bmp", nullptr},
      {"Blue", "C:\\x\\", "a.bmp", nullptr},
      {"Blue", "", "\\\\server\\share\\a.bmp", nullptr},  // UNC
      {"Blue", "", "//server/share/a.bmp", nullptr},
      {"Blue", "", "\\a.bmp", nullptr},  // absolute
      {"Blue", "", "/etc/passwd", nullptr},
      {"Blue", "", "a.bmp:stream", nullptr},     // alternate stream
      {"Blue", "", "sub\\.. \\a.bmp", nullptr},  // dots and spaces that Windows trims
      {"Blue", "", "...\\a.bmp", nullptr},
      {"Blue", "", "sub\\", nullptr},  // a folder, not a file
      {"Blue", "", "", nullptr},
      {"Blue", "", "..", nullptr},
      {"Blue", "", "..\\Blue\\..", nullptr},
  };
  for (const auto& p : paths) {
    std::string got = "(untouched)";
    const bool ok = ResolveContainedPath(p.base, p.folder, p.name, got);
    if (p.want)
      EXPECT_TRUE(ok && got == p.want) << p.folder << p.name << " gave " << got;
    else
      EXPECT_FALSE(ok) << p.folder << p.name << " gave " << got;
  }
}

TEST(SkinValues, BmpDecoderRefusesTruncatedAndOddFiles) {
  // A 2 x 2 24-bit file, rows padded to 8 bytes, bottom-up.
  std::string bmp = "BM";
  auto le = [&](uint32_t v, int n) {
    for (int i = 0; i < n; ++i) bmp += static_cast<char>(v >> (8 * i));
  };
  le(54 + 16, 4), le(0, 4), le(54, 4), le(40, 4), le(2, 4), le(2, 4), le(1, 2), le(24, 2), le(0, 4);
  le(16, 4), le(0, 4), le(0, 4), le(0, 4), le(0, 4);
  bmp += std::string("\x01\x02\x03\x04\x05\x06\0\0\x07\x08\x09\x0A\x0B\x0C\0\0", 16);
  auto* data = reinterpret_cast<const uint8_t*>(bmp.data());
  auto good = DecodeBmp(data, bmp.size());
  ASSERT_TRUE(good);
  EXPECT_EQ(good->BitsPerPixel(), 24);
  EXPECT_EQ(good->Pixel(0, 0)[0], 7);  // top row comes last in the file
  EXPECT_EQ(good->Pixel(1, 1)[2], 6);
  EXPECT_EQ(good->Pixel(1, 1)[3], 255);
  EXPECT_FALSE(DecodeBmp(data, bmp.size() - 1));
  std::string huge = bmp;
  huge[18] = '\xFF', huge[19] = '\xFF', huge[20] = '\xFF', huge[21] = '\x7F';
  EXPECT_FALSE(DecodeBmp(reinterpret_cast<const uint8_t*>(huge.data()), huge.size()));
  std::string rle = bmp;
  rle[30] = 1;
  EXPECT_FALSE(DecodeBmp(reinterpret_cast<const uint8_t*>(rle.data()), rle.size()));
}

TEST(SkinValues, AlphaIsForcedOnlyInsideTheRectangleOf32BitBitmaps) {
  TSkinBitmap b32(4, 4, 32), b24(4, 4, 24);
  SetAlphaInRect(b32, {1, 1, 3, 9});  // clipped to the bitmap
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(b32.Pixel(x, y)[3], (x >= 1 && x < 3 && y >= 1) ? 255 : 0) << x << y;
  EXPECT_TRUE(b24.OpaqueIn({0, 0, 4, 4}));
}
