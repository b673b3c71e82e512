#include <gtest/gtest.h>

#include "XMLTestUtil.h"
#include "base/Stream.h"
#include "xml/XMLException.h"
#include "xml/XMLLookupTables.h"
#include "xml/XMLTextStream.h"

using namespace xml;
using namespace xmltest;

TEST(XMLChars, ClassTableHasTheRunsAndBitsOfTheCharacterClasses) {
  // Runs of equal class bytes over U+0000..U+FFFD; the last two entries stay 0.
  int runs = 1;
  for (uint32_t c = 1; c < 0xFFFE; ++c) runs += XMLCharClasses[c] != XMLCharClasses[c - 1];
  EXPECT_EQ(runs, 613);
  EXPECT_EQ(XMLCharClasses[0xFFFE], 0);
  EXPECT_EQ(XMLCharClasses[0xFFFF], 0);
  struct {
    char16_t Ch;
    uint8_t Bits;
  } const cases[] = {
      {u'A', ccBaseChar | ccLetter | ccChar | ccNameChar},
      {u'0', ccDigit | ccChar | ccNameChar},
      {u'-', ccChar | ccNameChar},
      {u' ', ccChar},
      {0x09, ccChar},
      {0x0B, 0},
      {0x00B7, ccExtender | ccChar | ccNameChar},
      {0x0300, ccCombiningChar | ccChar | ccNameChar},
      {0x3007, ccIdeographic | ccLetter | ccChar | ccNameChar},
      {0x4E00, ccIdeographic | ccLetter | ccChar | ccNameChar},
      {0xAC00, ccBaseChar | ccLetter | ccChar | ccNameChar},
      {0xD800, 0},
      {0xE000, ccChar},
      {0xFFFD, ccChar},
  };
  for (const auto& c : cases) EXPECT_EQ(XMLCharClasses[c.Ch], c.Bits) << std::hex << int(c.Ch);
  EXPECT_TRUE(IsNameStartChar(u'_'));
  EXPECT_TRUE(IsNameStartChar(u':'));
  EXPECT_FALSE(IsNameStartChar(u'1'));
  EXPECT_FALSE(IsWhiteSpaceChar(0xA0));
}

TEST(XMLChars, NamedReferencesAndEncodingNames) {
  char16_t ch = 0;
  EXPECT_TRUE(LookupCharEntity(u"agrave", ch));
  EXPECT_EQ(ch, 0xE0);
  EXPECT_TRUE(LookupCharEntity(u"Agrave", ch));
  EXPECT_EQ(ch, 0xC0);
  EXPECT_TRUE(LookupCharEntity(u"nbsp", ch));
  EXPECT_EQ(ch, 160);
  EXPECT_TRUE(LookupCharEntity(u"yuml", ch));
  EXPECT_EQ(ch, 255);
  EXPECT_TRUE(LookupCharEntity(u"apos", ch));
  EXPECT_EQ(ch, u'\'');
  EXPECT_FALSE(LookupCharEntity(u"AMP", ch));

  uint16_t cp = 7;
  EXPECT_TRUE(LookupCodePage(u"UTF-8", cp));
  EXPECT_EQ(cp, 65001);
  EXPECT_TRUE(LookupCodePage(u"Windows-1251", cp));
  EXPECT_EQ(cp, 1251);
  EXPECT_TRUE(LookupCodePage(u"euc-jp", cp));
  EXPECT_EQ(cp, 51932);
  cp = 7;
  EXPECT_FALSE(LookupCodePage(u"ucs-2", cp));
  EXPECT_EQ(cp, 7);
}

TEST(XMLChars, EscapingLineBreaksTrimmingAndPseudoAttributes) {
  EXPECT_EQ(EscapeMarkup(u"a\r\nb'", false), u"a&#10;b'");
  EXPECT_EQ(EscapeMarkup(u"a\r\nb'", true), u"a&#10;b&apos;");
  EXPECT_EQ(EscapeMarkup(u"\n\r\r\n\n", false), u"&#10;&#10;&#10;&#10;");
  EXPECT_EQ(EscapeMarkup(u"<&>\"", false), u"&lt;&amp;&gt;&quot;");
  EXPECT_EQ(NormalizeLineBreaks(u"a\r\nb\rc\n"), u"a\nb\nc\n");
  EXPECT_EQ(ExpandLineBreaks(u"a\nb"), u"a\r\nb");
  EXPECT_EQ(TrimWhiteSpace(u" \t\r\n "), u"");
  EXPECT_EQ(TrimWhiteSpace(u" a b "), u"a b");
  EXPECT_EQ(GetPseudoAttribute(u"encoding", u"version=\"1.0\" encoding='utf-8'", u"x"), u"utf-8");
  EXPECT_EQ(GetPseudoAttribute(u"standalone", u"version=\"1.0\"", u"x"), u"x");
  EXPECT_EQ(GetPseudoAttribute(u"version", u"version", u"x"), u"");
  WideString data;
  AppendPseudoAttribute(data, u"version", u"1.0");
  AppendPseudoAttribute(data, u"encoding", u"");
  AppendPseudoAttribute(data, u"standalone", u"yes");
  EXPECT_EQ(data, u"version=\"1.0\" standalone=\"yes\"");
}

namespace {

// Reads the reference that follows "&" in text (UTF-8).
char32_t Reference(const std::string& text) {
  base::TStringStream bytes(text);
  TIntf<TXMLTextStream> s(new TXMLTextStream(&bytes, 65001, xmRead));
  return ReadCharReference(*s);
}

int32_t ReferenceError(const std::string& text, std::string* message = nullptr) {
  try {
    Reference(text);
  } catch (const EXMLException& e) {
    EXPECT_EQ(e.DOMCode(), INVALID_CHARACTER_ERR) << text;
    if (message) *message = e.Message();
    return e.XMLCode();
  }
  return -1;
}

}  // namespace

TEST(XMLChars, CharacterReferencesAreBoundedAndChecked) {
  EXPECT_EQ(Reference("#65;"), U'A');
  EXPECT_EQ(Reference("#x41;"), U'A');
  EXPECT_EQ(Reference("#x1F600;"), U'\U0001F600');
  EXPECT_EQ(Reference("#1114111;"), 0x10FFFFu);
  EXPECT_EQ(Reference("agrave;"), 0xE0u);
  EXPECT_EQ(Reference("amp"), 0x20u);  // the input ends inside the reference
  const struct {
    const char* Text;
    TXMLErrorCode Code;
  } errors[] = {
      {"#X41;", xeBadEntityRefChar},
      {"#;", xeBadEntityRefChar},
      {"#x;", xeBadCharValue},
      {"#0;", xeBadCharValue},
      {"#xD800;", xeBadCharValue},
      {"#55296;", xeBadCharValue},
      {"#xFFFE;", xeBadCharValue},
      {"#1114112;", xeBadCharValue},
      {"#x110000;", xeBadCharValue},
      {"#99999999999999999999;", xeBadCharValue},
      {"#xFFFFFFFFFFFFFFFF1;", xeBadCharValue},
      {"#12a;", xeBadDecimalDigit},
      {"#xG;", xeBadHexDigit},
      {" amp;", xeWhiteSpaceNotAllowed},
      {"# 65;", xeWhiteSpaceNotAllowed},
      {"#6 5;", xeWhiteSpaceNotAllowed},
      {"a b;", xeSemicolonExpected},
      {"1a;", xeBadNameStart},
      {"nosuch;", xeUndefinedEntity},
  };
  for (const auto& e : errors) EXPECT_EQ(ReferenceError(e.Text), e.Code) << e.Text;
  std::string message;
  ReferenceError("nosuch;", &message);
  EXPECT_EQ(message, "Reference to undefined entity nosuch.");
}

TEST(XMLTextStream, OneUndoLevelAndLineCounting) {
  base::TStringStream bytes("ab\ncd");
  TIntf<TXMLTextStream> s(new TXMLTextStream(&bytes, 65001, xmRead));
  char16_t c;
  ASSERT_TRUE(s->NextChar(c));
  s->UnreadChar();
  ASSERT_TRUE(s->NextChar(c));
  EXPECT_EQ(c, u'a');
  s->UnreadChar();
  try {
    s->NextChar(c);
    FAIL() << "a second push-back of the same character was accepted";
  } catch (const EXMLException& e) {
    EXPECT_EQ(e.XMLCode(), xeInternal);
    EXPECT_EQ(e.Message(), "Internal error: Only one undo level is supported");
  }
  WideString rest;
  EXPECT_TRUE(s->ReadString(3, rest));
  EXPECT_EQ(rest, u"b\nc");
  EXPECT_EQ(s->GetLine(), 1);
  EXPECT_EQ(s->GetColumn(), 1);
  EXPECT_EQ(s->CurrentLineText(), u"c");
  EXPECT_FALSE(s->ReadString(3, rest));
  EXPECT_EQ(rest, u"d");
}

TEST(XMLTextStream, IndentLevelsAndLineBreaks) {
  base::TStringStream out;
  {
    TIntf<TXMLTextStream> s(new TXMLTextStream(&out, 1252, xmWrite));
    s->SetOutputFormat(FormatIndented);
    s->IncIndent();  // -1 -> 0: the top level is not indented
    s->WriteLineBreak(false);
    s->WriteString(u"a");
    s->IncIndent();
    s->IncIndent();
    s->WriteLineBreak(false);
    s->WriteString(u"b");
    s->DecIndent();
    s->DecIndent();  // 1 -> the outer level
    EXPECT_EQ(s->IndentLevel(), TXMLTextStream::kOuterLevel);
    s->WriteLineBreak(false);
    s->WriteString(u"c");
    s->SetOutputFormat(FormatCompact);
    s->WriteLineBreak(true);
    s->Flush();
  }
  EXPECT_EQ(out.DataString(), "a\r\n    b\r\nc");
}

TEST(XMLChars, FindFirstOfAgreesWithThePlainSearch) {
  // The eight-at-a-time searches (chosen at compile or at run time) against a plain loop,
  // over random text, every length and start up to 40 and each of the three targets.
  uint32_t seed = 12345;
  auto next = [&seed] { return seed = seed * 1103515245 + 12345, (seed >> 16) & 0x7FFF; };
  std::u16string text(64, u'x');
  for (int round = 0; round < 200; ++round) {
    for (char16_t& c : text)
      c = static_cast<char16_t>(next() % 7 == 0 ? u"<&>\u3C00\u263C"[next() % 5] : u'a' + next() % 3);
    for (size_t start = 0; start < 8; ++start)
      for (size_t n = 0; start + n <= 48; ++n) {
        const char16_t* p = text.data() + start;
        size_t plain = n;
        for (size_t i = 0; i < n; ++i)
          if (p[i] == u'<' || p[i] == u'&' || p[i] == u'>') {
            plain = i;
            break;
          }
        ASSERT_EQ(FindFirstOf(p, n, u'<', u'&', u'>'), plain) << round << " " << start << " " << n;
        // The reader's form, which may look at the units after the run (text has them).
        ASSERT_EQ(FindFirstOfPadded(p, n, u'<', u'&', u'>'), plain) << round << " " << start << " " << n;
      }
  }
}
