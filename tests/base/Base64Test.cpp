#include <gtest/gtest.h>

#include <string>

#include "base/Base64.h"

namespace {

TEST(Base64, EncodesWithAndWithoutFill) {
  struct Case {
    std::string In, Out, Stripped;
  } cases[] = {
      {"", "", ""},
      {"f", "Zg==", "Zg"},
      {"fo", "Zm8=", "Zm8"},
      {"foo", "Zm9v", "Zm9v"},
      {"foob", "Zm9vYg==", "Zm9vYg"},
      {"user:secret", "dXNlcjpzZWNyZXQ=", "dXNlcjpzZWNyZXQ"},
      {std::string("\xFF\xFE\x00", 3), "//4A", "//4A"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(base::Base64Encode(c.In, false), c.Out) << c.In;
    EXPECT_EQ(base::Base64Encode(c.In, true), c.Stripped) << c.In;
  }
}

// The last character before the fill carries only bits of the input, never bits of what
// was encoded earlier: low 4 (one byte left) or 2 (two bytes left) bits are zero.
TEST(Base64, FinalGroupCarriesZeroBits) {
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (int b = 0; b < 256; ++b) {
    std::string one = "xyz" + std::string(1, static_cast<char>(b));
    std::string e1 = base::Base64Encode(one);
    ASSERT_EQ(e1.size(), 8u);
    EXPECT_EQ(e1.substr(6), "==");
    EXPECT_EQ(alphabet.find(e1[5]) & 0x0F, 0u) << b;

    std::string two = "q" + std::string(1, static_cast<char>(b)) + std::string(1, static_cast<char>(255 - b));
    std::string e2 = base::Base64Encode(two.substr(1));
    ASSERT_EQ(e2.size(), 4u);
    EXPECT_EQ(e2[3], '=');
    EXPECT_EQ(alphabet.find(e2[2]) & 0x03, 0u) << b;
  }
}

// Decoding takes back exactly what encoding gives and nothing else: keys and signatures
// have one text each.
TEST(Base64, DecodesOnlyCanonicalText) {
  std::string out;
  for (int n = 0; n < 40; ++n) {
    std::string bytes;
    for (int i = 0; i < n; ++i) bytes += static_cast<char>(i * 37 + n);
    ASSERT_TRUE(base::Base64Decode(base::Base64Encode(bytes), out)) << n;
    EXPECT_EQ(out, bytes) << n;
  }
  for (const char* bad : {"QQ", "QQ=", "QQ===", "QR==", "QUI=QUI=", "QU I", "QUI\n", "Q===", "====", "QUJD=", "QU-_"}) {
    out = "x";
    EXPECT_FALSE(base::Base64Decode(bad, out)) << bad;
    EXPECT_TRUE(out.empty()) << bad;
  }
  EXPECT_TRUE(base::Base64Decode("", out));
  EXPECT_TRUE(base::Base64Decode("QUJD", out));
  EXPECT_EQ(out, "ABC");
}

}  // namespace
