#include <gtest/gtest.h>

#include "base/Exceptions.h"
#include "base/Format.h"

using base::Format;

TEST(Format, ProductPatterns) {
  struct Case {
    std::string got, want;
  } cases[] = {
      {Format("%s %d", "Run", 42), "Run 42"},
      {Format("%.2d:%.2d", 7, 5), "07:05"},
      {Format("%.2x", 10), "0A"},
      {Format("%x", 0xbeef), "BEEF"},
      {Format("%x", -1), "FFFFFFFF"},
      {Format("%.8x", 0x1F), "0000001F"},
      {Format("%d", -7), "-7"},
      {Format("%.3d", -7), "-007"},
      {Format("%u", 4000000000u), "4000000000"},
      {Format("%5d|%-5d|", 42, 42), "   42|42   |"},
      {Format("%.3s", "abcdef"), "abc"},
      {Format("100%%"), "100%"},
      {Format("%1:s %0:s", "a", "b"), "b a"},
      {Format("%*d", 4, 7), "   7"},
      {Format("%.2f", 3.14159), "3.14"},
      {Format("%f", 2.0), "2.00"},
      {Format("%n", 1234567.891), "1,234,567.89"},
      {Format("%d", int64_t{-9000000000}), "-9000000000"},
      {Format("%s", std::string("Log(1).txt")), "Log(1).txt"},
      {Format("(%d)", -1), "(-1)"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, c.want);
}

TEST(Format, BadPatternsRaiseConvertError) {
  EXPECT_THROW(Format("%d", "text"), base::EConvertError);
  EXPECT_THROW(Format("%s", 5), base::EConvertError);
  EXPECT_THROW(Format("%q", 5), base::EConvertError);
  EXPECT_THROW(Format("%", 5), base::EConvertError);
  try {
    Format("%d %d", 1);
    FAIL();
  } catch (const base::EConvertError& e) {
    EXPECT_STREQ(e.what(), "No argument for format '%d %d'");
  }
  try {
    Format("%d", 1.5);
    FAIL();
  } catch (const base::EConvertError& e) {
    EXPECT_STREQ(e.what(), "Format '%d' invalid or incompatible with argument");
  }
}
