#include <gtest/gtest.h>

#include <string>

#include "TextTestSupport.h"
#include "base/Stream.h"
#include "text/TextStreams.h"

using namespace text;
using texttest::Bytes;
using texttest::Hex;

namespace {

struct ReadCase {
  const char* Name;
  const char* Input;
  uint16_t GivenCodePage;
  uint16_t CodePage;  // after the mark was looked at
  uint8_t Flags;
  std::u16string Text;
};

// Reading: the mark decides the code page, and what follows it reads the same whether
// the caller takes one unit at a time or everything at once.
TEST(TextStream, ReadAccessDetectsMarks) {
  const ReadCase cases[] = {
      {"utf8 mark beats the given page", "EF BB BF 61", 1252, 65001, rkfUnicode, u"a"},
      {"no mark keeps the given page", "61 62", 1252, 1252, 0, u"ab"},
      {"no mark, Unicode page given", "61 C3 A9", 65001, 65001, rkfUnicode, u"a\u00E9"},
      {"utf16le mark", "FF FE 61 00 AC 20", 1252, 1200, rkfUnicode, u"a\u20AC"},
      {"utf16 reversed mark, units swapped", "FE FF 00 61 20 AC", 1252, 1200, rkfUnicode | rkfReversed, u"a\u20AC"},
      {"utf32le mark", "FF FE 00 00 41 00 00 00 00 F6 01 00", 1252, 12000, rkfUnicode, u"A\U0001F600"},
      {"utf32 reversed mark", "FE FF 00 00 00 41 00 00", 1252, 12000, rkfUnicode | rkfReversed, u"A"},
      {"mark alone", "EF BB BF", 1252, 65001, rkfUnicode, u""},
      {"two bytes of a utf8 mark are text", "EF BB", 1252, 1252, 0, u"\u00EF\u00BB"},
      {"utf16 mark followed by A is no utf32 mark", "FF FE 41 00", 1252, 1200, rkfUnicode, u"A"},
      {"empty stream", "", 65001, 65001, rkfUnicode, u""},
      {"utf16be without mark", "00 61 20 AC D8 3D DE 00", 1201, 1201, rkfUnicode, u"a\u20AC\U0001F600"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    for (int32_t units : {1, 2, 1000}) {
      base::TStringStream bytes(Bytes(c.Input));
      TRkTextStream s(&bytes, c.GivenCodePage, 0, rkaRead);
      EXPECT_EQ(s.CodePage(), c.CodePage);
      EXPECT_EQ(s.Flags(), c.Flags);
      EXPECT_EQ(texttest::ReadAll(s, units), c.Text) << "units per read " << units;
    }
  }
}

struct WriteCase {
  const char* Name;
  uint16_t CodePage;
  uint8_t Flags;
  TRkTextAccess Access;
  const char* Existing;
  std::u16string Text;
  const char* Expected;
};

TEST(TextStream, WriteAndAppendMarks) {
  const WriteCase cases[] = {
      {"utf8 with mark flag", 65001, rkfUtf8Mark, rkaWrite, "", u"a", "EF BB BF 61"},
      {"utf8 without mark flag", 65001, 0, rkaWrite, "", u"a", "61"},
      {"utf16 writes FF FE", 1200, 0, rkaWrite, "", u"a", "FF FE 61 00"},
      {"Unicode flag means utf16", 1252, rkfUnicode, rkaWrite, "", u"a", "FF FE 61 00"},
      {"utf32", 12000, 0, rkaWrite, "", u"a\U0001F600", "FF FE 00 00 61 00 00 00 00 F6 01 00"},
      {"ansi page: no mark", 1252, 0, rkaWrite, "", u"a\u00E9\u20AC", "61 E9 80"},
      {"write truncates", 1252, 0, rkaWrite, "78 79 7A", u"a", "61"},
      {"append to text: no mark", 1200, 0, rkaAppend, "61 00", u"b", "61 00 62 00"},
      {"append to empty: mark", 1200, 0, rkaAppend, "", u"b", "FF FE 62 00"},
      {"append keeps utf16 of the stream", 1252, 0, rkaAppendKeepEncoding, "FF FE 61 00", u"b", "FF FE 61 00 62 00"},
      {"append keeps utf8 of the stream", 1252, 0, rkaAppendKeepEncoding, "EF BB BF 61", u"\u00E9",
       "EF BB BF 61 C3 A9"},
      {"append keeps ansi without mark", 1252, 0, rkaAppendKeepEncoding, "61", u"\u00E9", "61 E9"},
      {"append keeps utf8 page without mark", 65001, 0, rkaAppendKeepEncoding, "61", u"\u00E9", "61 C3 A9"},
      {"utf16be writes FE FF and swapped units", 1201, 0, rkaWrite, "", u"a\U0001F600", "FE FF 00 61 D8 3D DE 00"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    base::TStringStream bytes(Bytes(c.Existing));
    {
      TRkTextStream s(&bytes, c.CodePage, c.Flags, c.Access);
      EXPECT_TRUE(s.WriteString(c.Text));
    }
    EXPECT_EQ(Hex(bytes.DataString()), Hex(Bytes(c.Expected)));
  }
}

// The UTF-8 coder: what each unit or pair becomes on the way out, and what malformed
// input becomes on the way in without swallowing what follows it.
TEST(TextStream, Utf8Coder) {
  const struct {
    std::u16string Text;
    const char* Bytes;
  } writes[] = {
      {u"\u00E9", "C3 A9"},
      {u"\u20AC", "E2 82 AC"},
      {u"\U0001F600", "F0 9F 98 80"},
      {u"\U0010FFFF", "F4 8F BF BF"},
      {u"\u007F\u0080\u07FF\u0800\uFFFF", "7F C2 80 DF BF E0 A0 80 EF BF BF"},
      {std::u16string(1, u'\xD800') + u"a", "EF BF BD 61"},  // lone high surrogate
      {std::u16string(1, u'\xDC00'), "EF BF BD"},            // lone low surrogate
      {std::u16string(1, u'\0'), "00"},
  };
  for (const auto& w : writes) {
    base::TStringStream bytes;
    {
      TRkTextStream s(&bytes, 65001, 0, rkaWrite);
      s.WriteString(w.Text);
    }
    EXPECT_EQ(Hex(bytes.DataString()), Hex(Bytes(w.Bytes)));
  }

  const struct {
    const char* Name;
    const char* Bytes;
    std::u16string Text;
  } reads[] = {
      {"four-byte sequence", "F0 9F 98 80", u"\U0001F600"},
      {"two-byte lead before <", "C3 3C 61", u"\uFFFD<a"},
      {"cut three-byte sequence before <", "E2 82 3C", u"\uFFFD<"},
      {"stray continuation", "80 61", u"\uFFFDa"},
      {"byte no sequence starts with", "FF 61 FE", u"\uFFFDa\uFFFD"},
      {"overlong two-byte", "C0 80", u"\uFFFD\uFFFD"},
      {"E0 80 80 stays U+0000", "E0 80 80 61", std::u16string(1, u'\0') + u"a"},
      {"other E0 overlongs", "E0 80 41 E0 9F BF", u"\uFFFDA\uFFFD\uFFFD\uFFFD"},
      {"above U+10FFFF", "F4 90 80 80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"surrogate written on its own", "ED A0 80", std::u16string(1, u'\xD800')},
      {"sequence cut by the end", "61 F0 9F 98", u"a\uFFFD"},
  };
  for (const auto& r : reads) {
    SCOPED_TRACE(r.Name);
    for (int32_t units : {1, 3, 100}) {
      base::TStringStream bytes(Bytes(r.Bytes));
      TRkTextStream s(&bytes, 65001, 0, rkaRead);
      EXPECT_EQ(texttest::ReadAll(s, units), r.Text) << "units per read " << units;
    }
  }
}

// A surrogate pair split across two writes is still one four-byte sequence; a high half
// nothing follows becomes U+FFFD when the stream ends.
TEST(TextStream, PairSplitAcrossWrites) {
  const char16_t high = 0xD83D, low = 0xDE00;
  base::TStringStream bytes;
  {
    TRkTextStream s(&bytes, 65001, 0, rkaWrite);
    EXPECT_EQ(s.Write(&high, 2), 2);
    EXPECT_EQ(s.Write(&low, 2), 2);
    EXPECT_EQ(s.Write(&high, 2), 2);
  }
  EXPECT_EQ(Hex(bytes.DataString()), "F0 9F 98 80 EF BF BD");
}

TEST(TextStream, Errors) {
  auto code = [](auto&& f) -> std::pair<int, std::string> {
    try {
      f();
    } catch (const ERkTextStream& e) {
      return {e.HelpContext(), e.Message()};
    }
    return {0, ""};
  };
  base::TStringStream three(Bytes("61 62 63"));
  TRkTextStream ansi(&three, 1252, 0, rkaRead);
  char buf[4];
  EXPECT_EQ(code([&] { ansi.Read(buf, 3); }),
            std::make_pair(3005, std::string("TRkTextStream:Cannot convert odd number of bytes: 3")));
  EXPECT_EQ(code([&] { ansi.Write(buf, 1); }).first, 3005);

  base::TStringStream empty;
  EXPECT_EQ(code([&] { TRkTextStream s(&empty, 1200, rkfUnicode | rkfReversed, rkaWrite); }),
            std::make_pair(3004, std::string("TRkTextStream:Cannot write to reversed Unicode stream.")));
  EXPECT_EQ(code([&] { TRkTextStream s(&empty, 1200, rkfUnicode | rkfReversed, rkaAppend); }),
            std::make_pair(3003, std::string("TRkTextStream:Cannot append reversed Unicode stream.")));
  base::TStringStream reversed(Bytes("FE FF 00 61"));
  EXPECT_EQ(code([&] { TRkTextStream s(&reversed, 1252, 0, rkaAppendKeepEncoding); }).first, 3003);

  // A code page the host cannot convert fails the call instead of producing garbage.
  base::TStringStream some(Bytes("61 62"));
  TRkTextStream unknown(&some, 1252, 0, rkaRead);
  unknown.SwitchCodePage(12345);
  auto r = code([&] { unknown.Read(buf, 2); });
  EXPECT_EQ(r.first, 3001);
  EXPECT_EQ(r.second.rfind("TRkTextStream.Read failed. System Error.  Code: ", 0), 0u) << r.second;
  EXPECT_NE(unknown.LastWindowsError(), 0u);
  base::TStringStream out;
  TRkTextStream unknownOut(&out, 12345, 0, rkaWrite);
  r = code([&] { unknownOut.WriteString(u"a"); });
  EXPECT_EQ(r.first, 3001);
  EXPECT_EQ(r.second.rfind("TRkTextStream.Write failed. System Error.  Code: ", 0), 0u) << r.second;
}

// Double-byte code pages: a lead byte at the end of one read is kept for the next, and
// text that needs two bytes per character is written whole.
TEST(TextStream, DoubleByteCodePages) {
  const struct {
    uint16_t CodePage;
    std::u16string Text;
    const char* Bytes;
  } cases[] = {
      {932, u"\u65E5\u672Ca\u8A9E", "93 FA 96 7B 61 8C EA"},
      {936, u"\u4E2Da\u6587", "D6 D0 61 CE C4"},
      {949, u"\uD55Ca\uAD6D", "C7 D1 61 B1 B9"},
      {950, u"\u4E2Da\u6587", "A4 A4 61 A4 E5"},
      {1251, u"\u041F\u0440\u0438\u0432\u0435\u0442", "CF F0 E8 E2 E5 F2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.CodePage);
    base::TStringStream out;
    {
      TRkTextStream w(&out, c.CodePage, 0, rkaWrite);
      EXPECT_TRUE(w.WriteString(c.Text));
    }
    EXPECT_EQ(Hex(out.DataString()), Hex(Bytes(c.Bytes)));
    for (int32_t units : {1, 2, 3, 64}) {
      base::TStringStream in(Bytes(c.Bytes));
      TRkTextStream r(&in, c.CodePage, 0, rkaRead);
      EXPECT_EQ(texttest::ReadAll(r, units), c.Text) << "units per read " << units;
    }
  }
}

// Every code page an XML encoding declaration can name: ASCII text and a character of
// the code page's own range survive a write and a read, or (on a host without the code
// page) the call fails with 3001; never garbage.
TEST(TextStream, XmlEncodingCodePages) {
  const struct {
    uint16_t CodePage;
    std::u16string Text;
  } cases[] = {
      {932, u"<a>\u65E5</a>"},   {1250, u"<a>\u0160</a>"},  {1251, u"<a>\u0416</a>"},  {1252, u"<a>\u00E9</a>"},
      {1253, u"<a>\u03A9</a>"},  {1254, u"<a>\u011F</a>"},  {1255, u"<a>\u05D0</a>"},  {1256, u"<a>\u0639</a>"},
      {1257, u"<a>\u0101</a>"},  {1258, u"<a>\u20AB</a>"},  {28591, u"<a>\u00E9</a>"}, {28592, u"<a>\u0160</a>"},
      {28593, u"<a>\u0126</a>"}, {28594, u"<a>\u0100</a>"}, {28595, u"<a>\u0416</a>"}, {28596, u"<a>\u0639</a>"},
      {28597, u"<a>\u03A9</a>"}, {28598, u"<a>\u05D0</a>"}, {28599, u"<a>\u011F</a>"}, {50220, u"<a>\u65E5</a>"},
      {51932, u"<a>\u65E5</a>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.CodePage);
    base::TStringStream bytes;
    try {
      {
        TRkTextStream w(&bytes, c.CodePage, 0, rkaWrite);
        EXPECT_TRUE(w.WriteString(c.Text));
      }
      bytes.SetPosition(0);
      TRkTextStream r(&bytes, c.CodePage, 0, rkaRead);
      EXPECT_EQ(texttest::ReadAll(r, 3), c.Text) << Hex(bytes.DataString());
    } catch (const ERkTextStream& e) {
      EXPECT_FALSE(texttest::kHostConvertsEveryXmlCodePage) << e.Message();
      EXPECT_EQ(e.HelpContext(), 3001) << e.Message();
    }
  }
}

// The wrapper answers "remember, seek to end, seek back" without moving the wrapped
// stream; a recorded seek is carried out before the next read.
TEST(TextStream, DelayedSeek) {
  texttest::TSeekCountingStream m;
  m.WriteBuffer("abcdef", 6);
  m.SetPosition(2);
  m.MovingSeeks = 0;
  TRkStreamWrapper w(&m);
  EXPECT_EQ(w.Size(), 6);
  int64_t pos = w.Seek(0, TSeekOrigin::soCurrent);
  EXPECT_EQ(pos, 2);
  EXPECT_EQ(w.Seek(0, TSeekOrigin::soEnd), 6);
  EXPECT_EQ(w.Seek(pos, TSeekOrigin::soBeginning), 2);
  EXPECT_EQ(m.MovingSeeks, 0);
  char c;
  EXPECT_EQ(w.Read(&c, 1), 1);
  EXPECT_EQ(c, 'c');

  // Seek to the end without seeking back: the next read starts there.
  w.Seek(0, TSeekOrigin::soCurrent);
  w.Seek(0, TSeekOrigin::soEnd);
  EXPECT_EQ(w.Read(&c, 1), 0);
  EXPECT_EQ(m.Position(), 6);
  // A relative seek after a recorded one starts from where that one leads.
  w.Seek(0, TSeekOrigin::soCurrent);
  w.Seek(-1, TSeekOrigin::soEnd);
  EXPECT_EQ(w.Seek(-2, TSeekOrigin::soCurrent), 3);
  EXPECT_EQ(w.Read(&c, 1), 1);
  EXPECT_EQ(c, 'd');

  // The size query on a text stream leaves a pending read intact.
  base::TStringStream bytes(Bytes("61 62 63"));
  TRkTextStream s(&bytes, 65001, 0, rkaRead);
  char16_t u;
  EXPECT_EQ(s.Read(&u, 2), 2);
  EXPECT_EQ(s.Size(), 3);
  EXPECT_EQ(s.Position(), 1);
  EXPECT_EQ(texttest::ReadAll(s, 8), u"bc");
}

}  // namespace
