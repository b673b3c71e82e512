// Random text through the stream, in random pieces, against the plain expectation and
// against a converter that is not the product's.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "TextTestSupport.h"
#include "base/Stream.h"
#include "text/TextStreams.h"

using namespace text;

namespace {

// Units from every plane: ASCII, the rest of the BMP, pairs for planes 1 to 16 and lone
// surrogates of both halves.
std::u16string RandomUnicode(std::mt19937& rng, size_t units) {
  std::u16string s;
  std::uniform_int_distribution<int> kind(0, 9);
  while (s.size() < units) {
    switch (kind(rng)) {
      case 0:
      case 1:
      case 2: s += static_cast<char16_t>(std::uniform_int_distribution<int>(1, 0x7F)(rng)); break;
      case 3: s += static_cast<char16_t>(std::uniform_int_distribution<int>(0x80, 0x7FF)(rng)); break;
      case 4:
      case 5: {
        int c = std::uniform_int_distribution<int>(0x800, 0xFFFD)(rng);
        if (c >= 0xD800 && c <= 0xDFFF) c -= 0x1000;
        s += static_cast<char16_t>(c);
        break;
      }
      case 6:
      case 7: {
        uint32_t cp = std::uniform_int_distribution<uint32_t>(0x10000, 0x10FFFF)(rng) - 0x10000;
        s += static_cast<char16_t>(0xD800 + (cp >> 10));
        s += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        break;
      }
      case 8: s += static_cast<char16_t>(std::uniform_int_distribution<int>(0xD800, 0xDBFF)(rng)); break;
      default: s += static_cast<char16_t>(std::uniform_int_distribution<int>(0xDC00, 0xDFFF)(rng)); break;
    }
  }
  return s;
}

// What a coder that cannot carry lone surrogates gives back: each becomes U+FFFD.
std::u16string LoneSurrogatesReplaced(const std::u16string& s) {
  std::u16string out;
  for (size_t i = 0; i < s.size(); ++i) {
    char16_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      out += c;
      out += s[++i];
    } else {
      out += c >= 0xD800 && c <= 0xDFFF ? char16_t{0xFFFD} : c;
    }
  }
  return out;
}

// Writes text in random pieces (a pair may be cut between two writes).
std::string WriteInPieces(const std::u16string& text, uint16_t cp, std::mt19937& rng) {
  base::TStringStream out;
  {
    TRkTextStream s(&out, cp, 0, rkaWrite);
    std::uniform_int_distribution<size_t> piece(1, 700);
    for (size_t done = 0; done < text.size();) {
      size_t n = std::min(piece(rng), text.size() - done);
      EXPECT_EQ(s.Write(text.data() + done, static_cast<int32_t>(n * 2)), static_cast<int32_t>(n * 2));
      done += n;
    }
  }
  return out.DataString();
}

std::u16string ReadInPieces(const std::string& bytes, uint16_t cp, std::mt19937& rng) {
  base::TStringStream in(bytes);
  TRkTextStream s(&in, cp, 0, rkaRead);
  std::u16string out;
  std::uniform_int_distribution<int32_t> piece(1, 700);
  std::u16string buf(700, u'\0');
  for (;;) {
    int32_t n = s.Read(buf.data(), piece(rng) * 2);
    if (n <= 0) break;
    out.append(buf.data(), static_cast<size_t>(n) / 2);
  }
  return out;
}

TEST(TextDifferential, UnicodeCodePagesRoundTrip) {
  std::mt19937 rng(20261208);
  for (int round = 0; round < 20; ++round) {
    std::u16string text = RandomUnicode(rng, 5000);
    for (uint16_t cp : {kCodePageUtf8, kCodePageUtf16, kCodePageUtf32}) {
      SCOPED_TRACE(cp);
      std::string bytes = WriteInPieces(text, cp, rng);
      std::u16string expected = cp == kCodePageUtf16 ? text : LoneSurrogatesReplaced(text);
      ASSERT_EQ(ReadInPieces(bytes, cp, rng), expected) << "round " << round;
      if (cp == kCodePageUtf8) {
        // Byte for byte what another converter makes of the same text.
        ASSERT_EQ(texttest::Hex(bytes), texttest::Hex(texttest::ReferenceEncode(expected, cp)));
      }
    }
  }
}

// Text each code page can hold, written and read in random pieces, against the reference
// converter's bytes and characters.
std::u16string RandomText(std::mt19937& rng, uint16_t cp, size_t units) {
  std::u16string s;
  std::uniform_int_distribution<int> kind(0, 3);
  while (s.size() < units) {
    int k = kind(rng);
    if (k == 0) {
      s += static_cast<char16_t>(std::uniform_int_distribution<int>(0x20, 0x7E)(rng));
    } else if (cp == 1251) {
      s += static_cast<char16_t>(std::uniform_int_distribution<int>(0x410, 0x44F)(rng));
    } else if (k == 1) {
      s += static_cast<char16_t>(std::uniform_int_distribution<int>(0x3041, 0x3093)(rng));  // hiragana
    } else if (k == 2) {
      s += static_cast<char16_t>(std::uniform_int_distribution<int>(0xFF61, 0xFF9F)(rng));  // half-width kana
    } else {
      static const char16_t kanji[] = u"\u65E5\u672C\u8A9E\u6F22\u5B57\u6587\u5316\u4E00\u4E8C\u4E09\u5C71\u5DDD";
      s += kanji[std::uniform_int_distribution<size_t>(0, 11)(rng)];
    }
  }
  return s;
}

TEST(TextDifferential, CodePagesAgainstReference) {
  std::mt19937 rng(1251932);
  for (uint16_t cp : {uint16_t{1251}, uint16_t{932}}) {
    SCOPED_TRACE(cp);
    for (int round = 0; round < 20; ++round) {
      std::u16string text = RandomText(rng, cp, 3000);
      std::string reference = texttest::ReferenceEncode(text, cp);
      std::string bytes = WriteInPieces(text, cp, rng);
      ASSERT_EQ(texttest::Hex(bytes), texttest::Hex(reference)) << "round " << round;
      ASSERT_EQ(ReadInPieces(bytes, cp, rng), texttest::ReferenceDecode(reference, cp)) << "round " << round;
    }
  }
}

}  // namespace
