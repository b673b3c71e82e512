#include <gtest/gtest.h>

#include "base/Exceptions.h"
#include "base/Strings.h"

using namespace base;

TEST(Strings, CodePageRoundTrip) {
  // "Grüße €" in the Western code page, UTF-16 and back.
  std::string ansi =
      "Gr\xFC\xDF"
      "e \x80";
  WideString w = AnsiToWide(ansi);
  EXPECT_EQ(w, u"Grüße €");
  EXPECT_EQ(WideToAnsi(w), ansi);
  EXPECT_EQ(WideToUtf8(u"Grüße €"),
            "Gr\xC3\xBC\xC3\x9F"
            "e \xE2\x82\xAC");
  EXPECT_EQ(Utf8ToWide("\xF0\x9F\x98\x80"), std::u16string(u"\xD83D\xDE00"));
  // Unmappable characters become '?', broken UTF-8 becomes U+FFFD.
  EXPECT_EQ(WideToAnsi(u"\x4E2D"), "?");
  EXPECT_EQ(Utf8ToWide("a\xC3"), std::u16string(u"a\xFFFD"));
}

TEST(Strings, IntegerConversions) {
  EXPECT_EQ(StrToInt(" 42 "), 42);
  EXPECT_EQ(StrToInt("-2147483648"), INT32_MIN);
  EXPECT_EQ(StrToInt("$1F"), 31);
  EXPECT_EQ(StrToInt("0x10"), 16);
  EXPECT_EQ(StrToIntDef("2147483648", -5), -5);
  EXPECT_EQ(StrToIntDef("", 3), 3);
  EXPECT_EQ(StrToIntDef("12a", 3), 3);
  EXPECT_EQ(StrToIntDef("-", 3), 3);
  try {
    StrToInt("x1");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'x1' is not a valid integer value");
  }
  EXPECT_EQ(IntToHex(255, 4), "00FF");
  EXPECT_EQ(IntToStr(-12), "-12");
}

TEST(Strings, PositionsAreOneBased) {
  EXPECT_EQ(Pos("b", "abc"), 2u);
  EXPECT_EQ(Pos("x", "abc"), 0u);
  EXPECT_EQ(Pos("", "abc"), 0u);
  EXPECT_EQ(Copy("abcdef", 2, 3), "bcd");
  EXPECT_EQ(Copy("abc", 0, 2), "ab");
  EXPECT_EQ(Copy("abc", 3, 100), "c");
  EXPECT_EQ(Copy("abc", 4, 1), "");
  EXPECT_EQ(Copy("abc", 2, -1), "");
}

TEST(Strings, TextHelpers) {
  EXPECT_EQ(Trim("  a b \r\n"), "a b");
  EXPECT_EQ(Trim(u"\t x "), u"x");
  EXPECT_TRUE(SameText("Content-Length", "content-LENGTH"));
  EXPECT_FALSE(SameText("abc", "abcd"));
  EXPECT_TRUE(StartsText("http://", "HTTP://host"));
  EXPECT_EQ(StringReplaceAll("a b  c", " ", "%20"), "a%20b%20%20c");
  std::vector<AnsiString> parts = SplitString("2.1..10", '.');
  ASSERT_EQ(parts.size(), 4u);
  EXPECT_EQ(parts[2], "");
}

TEST(Strings, PathHelpers) {
  EXPECT_EQ(ExtractFilePath("C:\\Program Files\\Orbelle\\app.exe"), "C:\\Program Files\\Orbelle\\");
  EXPECT_EQ(ExtractFilePath("C:\\app.exe"), "C:\\");
  EXPECT_EQ(ExtractFilePath("app.exe"), "");
  EXPECT_EQ(ExtractFileName("C:\\dir\\app.exe"), "app.exe");
  EXPECT_EQ(ExtractFileExt("a.b\\file.vtzip"), ".vtzip");
  EXPECT_EQ(ExtractFileExt("a.b\\file"), "");
  EXPECT_EQ(ChangeFileExt("dir.x\\file", ".ini"), "dir.x\\file.ini");
  EXPECT_EQ(IncludeTrailingPathDelimiter("C:"), "C:\\");
  EXPECT_EQ(IncludeTrailingPathDelimiter("C:\\"), "C:\\");
  EXPECT_EQ(IncludeTrailingPathDelimiter(u"dir"), u"dir\\");
}
