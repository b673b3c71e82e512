#include <gtest/gtest.h>

#include <algorithm>

#include "XMLTestUtil.h"
#include "base/Stream.h"
#include "xml/XMLException.h"
#include "xml/XMLLookupTables.h"
#include "xml/XMLNodeList.h"

using namespace xml;
using namespace xmltest;

TEST(XMLParser, ReadsWhatItAccepts) {
  const struct {
    const char* Input;
    const char* Tree;
  } cases[] = {
      {"<a><b/></a>", "a(b)"},
      {"<a>  hello  </a>", "a(\"hello  \")"},
      {"<a>   </a>", "a"},
      {"<a x='1' y=\"2\"/>", "a[x=1 y=2]"},
      {"<a x='1' x='2'/>", "a[x=1 x=2]"},
      {"<a x = 'it\"s' y='&lt;&#x41;&#66;'/>", "a[x=it\"s y=<AB]"},
      {"<a><b>", "a(b)"},
      {"<!DOCTYPE r [ <!ENTITY x 'y'> <r/>", ""},
      {"<r/><?", "r"},
      {"<a>x</a >", "a(\"x\")"},
      {"<a><b\tc\n=\n'1'\r\n></b\n></a>", "a(b[c=1])"},
      {"<a b='x&amp;y' c=\"'\">t<u/>v&#65;</a>", "a[b=x&y c='](\"t\",u,\"vA\")"},
      {"<r a='&quot;&apos;&gt;&amp;&lt;'>&apos;&amp;amp;&gt;</r>", "r[a=\"'>&<](\"'&amp;>\")"},
      {"<!-- x -- y --><r/>", "<!-- x -->,r"},
      {"<r><![CDATA[a]b]]></r>", "r(<![a]b]>)"},
      {"<r><![CDATA[a]]b]]></r>", "r(<![a]]b]>)"},
      {"<r><![CDATA[x]]]></r>", "r(<![x]]>)"},
      {"<r><![CDATA[<&>]]]]]></r>", "r(<![<&>]]]]>)"},
      {"<!DOCTYPE r [<!ENTITY e 'x>'>]><r/>", "<!DOCTYPE r [<!ENTITY e 'x>'>]>,r"},
      {"<?xml version=\"1.0\"?><r/>", "<?xml version=\"1.0\"?>,r"},
      {"<?pi a?b?\?><r/>", "<?pi a?b?\?>,r"},
      {"<r>a &amp; b&#10;c&eacute;</r>", "r(\"a & b\nc\xC3\xA9\")"},
      {"<r>a\r\nb\rc</r>", "r(\"a\nb\nc\")"},
      {"<r>x<!--c-->y<?p d?></r>", "r(\"x\",<!--c-->,\"y\",<?p d?>)"},
      {"<a/><b/>text", "a,b,\"text\""},
      {"<r>cut off", "r(\"cut off\")"},
      {"<r>&#x1F600;</r>", "r(\"\xF0\x9F\x98\x80\")"},
      {"", ""},
  };
  for (const auto& c : cases) {
    bool ok = false;
    TIntf<TXMLDocument> doc = LoadUtf8(c.Input, &ok);
    EXPECT_TRUE(ok) << c.Input << ": " << doc->ParseError().Message();
    std::string tree = Dump(doc.Get());
    // The document itself dumps as "#document(...)".
    std::string expected = *c.Tree ? std::string("#document(") + c.Tree + ")" : "#document";
    EXPECT_EQ(tree, expected) << c.Input;
  }
}

TEST(XMLParser, KeepWhiteSpaceOffTrimsText) {
  TIntf<TXMLDocument> doc(new TXMLDocument);
  doc->SetKeepWhiteSpace(false);
  ASSERT_TRUE(doc->LoadFromText(u"<a>  hello  </a><b> \r\n </b>"));
  EXPECT_EQ(Dump(doc.Get()), "#document(a(\"hello\"),b)");
}

TEST(XMLParser, ErrorsCarryCodeLineColumnAndReason) {
  const struct {
    const char* Input;
    TXMLErrorCode Code;
    int32_t Line, Column;
    const char* Message;
  } cases[] = {
      {"<a x=1/>", xeQuoteExpected, 1, 6, "A string literal was expected, but no opening quote character was found."},
      {"<a x '1'/>", xeMissingEquals, 1, 6, "Missing equals sign between attribute and attribute value."},
      {"<a x='<'/>", xeLessThanInAttribute, 1, 7, "The character \"<\" cannot be used in an attribute value."},
      {"<a / >", xeWhiteSpaceNotAllowed, 1, 5, "Whitespace is not allowed at this location."},
      {"<a/x>", xeGreaterThanExpected, 1, 4, "The character \">\" was expected."},
      {"<1a/>", xeBadNameStart, 1, 2, "A name started with an invalid character."},
      {"<a$/>", xeBadNameChar, 1, 3, "A name contained an invalid character."},
      {"<a 1='x'/>", xeBadNameStart, 1, 4, "A name started with an invalid character."},
      {"<a></b>", xeEndTagMismatch, 1, 7, "End tag b does not match the start tag a."},
      {"<r>\n  <a>\n  </A>\n</r>", xeEndTagMismatch, 3, 6, "End tag A does not match the start tag a."},
      {"</r>", xeEndTagMismatch, 1, 4, "End tag r does not match the start tag #document."},
      {"<?xml?>", xeBadNameChar, 1, 6, "A name contained an invalid character."},
      {"<? x?>", xeBadNameStart, 1, 3, "A name started with an invalid character."},
      {"<r>&nosuch;</r>", xeUndefinedEntity, 1, 11, "Reference to undefined entity nosuch."},
      {"<r>&quo;</r>", xeUndefinedEntity, 1, 8, "Reference to undefined entity quo."},
      {"<r>&lt</r>", xeSemicolonExpected, 1, 7, "A semi colon character was expected."},
      {"<r>&#xD800;</r>", xeBadCharValue, 1, 11, "Invalid Unicode character value for this platform."},
      {"<r>&#1114112;</r>", xeBadCharValue, 1, 12, "Invalid Unicode character value for this platform."},
      {"<r a='&#4294967361;'/>", xeBadCharValue, 1, 15, "Invalid Unicode character value for this platform."},
      {"<r>& amp;</r>", xeWhiteSpaceNotAllowed, 1, 5, "Whitespace is not allowed at this location."},
      {"<r>&a b;</r>", xeSemicolonExpected, 1, 6, "A semi colon character was expected."},
      {"<r>&#X41;</r>", xeBadEntityRefChar, 1, 6, "An invalid character was found inside an entity reference."},
  };
  for (const auto& c : cases) {
    bool ok = true;
    TIntf<TXMLDocument> doc = LoadUtf8(c.Input, &ok);
    EXPECT_FALSE(ok) << c.Input;
    TIntf<IXMLParseError> error = doc->GetParseError();
    EXPECT_EQ(error->GetCode(), c.Code) << c.Input;
    EXPECT_EQ(error->GetLineNumber(), c.Line) << c.Input;
    EXPECT_EQ(error->GetColumn(), c.Column) << c.Input;
    EXPECT_EQ(error->GetReasonText(), XMLMessageTemplate(c.Code)) << c.Input;
    EXPECT_EQ(doc->ParseError().Message(), c.Message) << c.Input;
  }
}

TEST(XMLParser, ParseErrorRecordsSourceLineAndKeepsPartialTree) {
  bool ok = true;
  TIntf<TXMLDocument> doc = LoadUtf8("<r>\n <a/><b x=1/>\n</r>", &ok);
  ASSERT_FALSE(ok);
  TIntf<IXMLParseError> error = doc->GetParseError();
  EXPECT_EQ(error->GetReasonText(), "A string literal was expected, but no opening quote character was found.");
  EXPECT_EQ(U(error->GetSourceLine()), " <a/><b x=1");
  EXPECT_EQ(error->GetFileOffset(), 15);
  EXPECT_EQ(error->GetFileName(), "");
  EXPECT_EQ(Dump(doc.Get()), "#document(r(a,b[x=]))");
  // A later successful load leaves the record as it was.
  ASSERT_TRUE(doc->LoadFromText(u"<ok/>"));
  EXPECT_EQ(doc->GetParseError()->GetCode(), xeQuoteExpected);
  EXPECT_EQ(Dump(doc.Get()), "#document(ok)");
}

TEST(XMLParser, PositionsStayExactAcrossLongRunsAndBufferEnds) {
  // Names, values, text, comments and CDATA long enough to cross the reader's buffer
  // several times, with line breaks inside each; the error comes at the unquoted "1".
  std::string input = "<r>\n";
  for (int i = 0; i < 400; ++i) {
    std::string n = std::to_string(i);
    input += "<item" + n + " a" + std::string(40, 'n') + "='v\n" + std::string(60, 'v') + "'>text\n\n" +
             std::string(50, 't') + " &amp; " + n + "<!--c\n-" + std::string(30, 'c') + "--><![CDATA[x\n]" +
             std::string(20, 'd') + "]]></item" + n + ">\n";
  }
  input += "<last a='x\nyy' b=1/>";  // the value's run crosses the last line break
  bool ok = true;
  TIntf<TXMLDocument> doc = LoadUtf8(input, &ok);
  ASSERT_FALSE(ok);
  size_t lastBreak = input.rfind('\n');
  size_t at = input.rfind('1');
  IXMLParseError* error = doc->GetParseError().Get();
  EXPECT_EQ(error->GetCode(), xeQuoteExpected);
  EXPECT_EQ(error->GetLineNumber(), 1 + std::count(input.begin(), input.end(), '\n'));
  EXPECT_EQ(error->GetColumn(), static_cast<int32_t>(at - lastBreak));
  EXPECT_EQ(error->GetFileOffset(), static_cast<int32_t>(at + 1));
  EXPECT_EQ(U(error->GetSourceLine()), "yy' b=1");
  TIntf<IXMLNode> last = doc->GetDocumentElement()->GetChildNodes()->GetItem(399);
  // A literal line break in an attribute value reads as a space.
  EXPECT_EQ(Dump(last), "item399[a" + std::string(40, 'n') + "=v " + std::string(60, 'v') + "](\"text\n\n" +
                            std::string(50, 't') + " & 399\",<!--c\n-" + std::string(30, 'c') + "-->,<![x\n]" +
                            std::string(20, 'd') + "]>)");
}

TEST(XMLParser, ErrorAtALineStartShowsThePreviousTokenWhereverTheBufferEnds) {
  // The error comes at a line feed, so the record shows the last token read (the value)
  // instead of the line; the value is moved across the reader's buffer end step by step.
  for (size_t pad = 16300; pad < 16420; pad += 3) {
    std::string input = "<r>" + std::string(pad, ' ') + "<i v='value" + std::to_string(pad) + "'/\n></r>";
    bool ok = true;
    TIntf<TXMLDocument> doc = LoadUtf8(input, &ok);
    ASSERT_FALSE(ok) << pad;
    IXMLParseError* error = doc->GetParseError().Get();
    EXPECT_EQ(error->GetCode(), xeWhiteSpaceNotAllowed) << pad;
    EXPECT_EQ(error->GetLineNumber(), 2) << pad;
    EXPECT_EQ(error->GetColumn(), 0) << pad;
    EXPECT_EQ(error->GetFileOffset(), static_cast<int32_t>(input.find('\n') + 1)) << pad;
    EXPECT_EQ(U(error->GetSourceLine()), "value" + std::to_string(pad)) << pad;
  }
}

TEST(XMLParser, UnknownDeclarationIsAnErrorThatLoadPassesOn) {
  for (const char* input : {"<!x-y>", "<!-x>", "<!-"}) {
    TIntf<TXMLDocument> doc(new TXMLDocument);
    base::TStringStream stream(input);
    try {
      doc->Load(&stream, 65001);
      ADD_FAILURE() << input;
    } catch (const EXMLInvalidNode& e) {
      EXPECT_EQ(e.Message(), "Invalid node ") << input;
    }
  }
}

TEST(XMLParser, NestingDepthIsCapped) {
  auto nested = [](int depth) {
    std::string s;
    for (int i = 0; i < depth; ++i) s += "<e>";
    for (int i = 0; i < depth; ++i) s += "</e>";
    return s;
  };
  bool ok = false;
  TIntf<TXMLDocument> doc = LoadUtf8(nested(kMaxNestingDepth), &ok);
  EXPECT_TRUE(ok);
  doc = LoadUtf8(nested(kMaxNestingDepth + 1), &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(doc->ParseError().Message(), "Elements are nested more than 512 levels deep.");
  EXPECT_EQ(doc->GetParseError()->GetColumn(), 3 * (kMaxNestingDepth + 1));
  // Far deeper input ends the same way, with no stack to spare on a 32-bit Windows build.
  std::string deep;
  for (int i = 0; i < 200000; ++i) deep += "<e>";
  doc = LoadUtf8(deep, &ok);
  EXPECT_FALSE(ok);
}

namespace {

TIntf<TXMLDocument> LoadBytes(const std::string& bytes, uint16_t codePage) {
  TIntf<TXMLDocument> doc(new TXMLDocument);
  base::TStringStream stream(bytes);
  EXPECT_TRUE(doc->Load(&stream, codePage)) << doc->ParseError().Message();
  return doc;
}

std::string Utf16(const std::u16string& text, bool mark) {
  std::string bytes = mark ? "\xFF\xFE" : "";
  for (char16_t c : text) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  return bytes;
}

}  // namespace

TEST(XMLParser, DeclaredEncodingAppliesOnlyWithoutMarkOrUtf16) {
  // No mark: UTF-8 up to the end of the declaration, then the declared code page.
  TIntf<TXMLDocument> doc = LoadBytes("<?xml version=\"1.0\" encoding=\"iso-8859-1\"?><r>\xE9</r>", 65001);
  EXPECT_EQ(Dump(doc->GetDocumentElement().Get()), "r(\"\xC3\xA9\")");
  // A UTF-8 mark wins over the declaration.
  doc = LoadBytes("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"iso-8859-1\"?><r>\xC3\xA9</r>", 1252);
  EXPECT_EQ(Dump(doc->GetDocumentElement().Get()), "r(\"\xC3\xA9\")");
  // UTF-16 text (LoadFromText writes the mark) is not re-read as UTF-8.
  doc = TIntf<TXMLDocument>(new TXMLDocument);
  ASSERT_TRUE(doc->LoadFromText(u"<?xml version=\"1.0\" encoding=\"utf-8\"?><r>\u00E9\u4E2D</r>"));
  EXPECT_EQ(doc->GetDocumentElement()->GetText(), u"\u00E9\u4E2D");
  // UTF-16LE without a mark is recognised by its first character.
  doc = LoadBytes(Utf16(u"<?xml version=\"1.0\" encoding=\"windows-1252\"?><r>\u4E2D</r>", false), 65001);
  EXPECT_EQ(doc->GetDocumentElement()->GetText(), u"\u4E2D");
  // A declaration that is not the first node does not switch.
  doc = LoadBytes("<!--c--><?xml version=\"1.0\" encoding=\"iso-8859-1\"?><r>\xC3\xA9</r>", 65001);
  EXPECT_EQ(doc->GetDocumentElement()->GetText(), u"\u00E9");
  // White space around "=" is allowed; a value without quotes is not a declaration.
  doc = LoadBytes("<?xml version=\"1.0\" encoding = 'iso-8859-1'?><r>\xE9</r>", 65001);
  EXPECT_EQ(doc->GetDocumentElement()->GetText(), u"\u00E9");
  doc = LoadBytes("<?xml version=\"1.0\" encoding=x \"iso-8859-1\"?><r>\xC3\xA9</r>", 65001);
  EXPECT_EQ(doc->GetDocumentElement()->GetText(), u"\u00E9");
  // What the reader does not take as a declaration does not choose the writer's code page.
  EXPECT_EQ(doc->GetEncoding(), u"iso-8859-1");
  base::TStringStream out;
  doc->Save(&out, FormatCompact, 65001);
  EXPECT_EQ(out.DataString(), "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=x \"iso-8859-1\"?><r>\xC3\xA9</r>");
}

TEST(XMLParser, ReplacementNodeClassesAreUsedByTheReader) {
  struct TMyElement : TXMLElement {
    using TXMLElement::TXMLElement;
  };
  TIntf<TXMLDocument> doc(new TXMLDocument);
  doc->FElementClass = NodeClassOf<TMyElement>();
  ASSERT_TRUE(doc->LoadFromText(u"<a><b/></a>"));
  IXMLNode* b = doc->GetDocumentElement()->GetFirstChild().Get();
  EXPECT_NE(dynamic_cast<TMyElement*>(b), nullptr);
}

TEST(XMLParser, LosesNothingOfWhatItAccepts) {
  const struct {
    const char* Input;
    const char* Tree;
  } cases[] = {
      // Quotes and brackets inside comments and instructions of the internal subset.
      {"<!DOCTYPE r [<!-- it's -->]><r>data</r>", "<!DOCTYPE r [<!-- it's -->]>,r(\"data\")"},
      {"<!DOCTYPE r [<?pi it\"s [?>]><r>data</r>", "<!DOCTYPE r [<?pi it\"s [?>]>,r(\"data\")"},
      {"<!DOCTYPE r [<!--a'--><!ENTITY e '>'><!--\"-->]><r/>", "<!DOCTYPE r [<!--a'--><!ENTITY e '>'><!--\"-->]>,r"},
      // An instruction without data.
      {"<?pi?><r/>", "<?pi ?>,r"},
      {"<r><?p?></r>", "r(<?p ?>)"},
      // Attribute values: literal white space is a space (CR LF one), references stay.
      {"<r a='x\ty\r\nz\rw\nv'/>", "r[a=x y z w v]"},
      {"<r a='&#9;&#13;&#10;&#13;&#x20;'/>", "r[a=\t\r\n\r ]"},
      {"<r a='1\r\n&#13;\r\n&amp;\t'/>", "r[a=1 \r & ]"},
      // Text: literal line breaks fold to LF, "&#13;" stays a CR.
      {"<r>a&#13;b&#13;&#10;c\r\nd\re</r>", "r(\"a\rb\r\nc\nd\ne\")"},
      {"<r>\r\n&#13;\r</r>", "r(\"\r\n\")"},
      // Markup references among literal line breaks, at either end of the text too.
      {"<r>&lt;a\r\n&amp;\r&gt;b\r</r>", "r(\"<a\n&\n>b\n\")"},
      {"<r>x\r&quot;&apos;\r\ny&amp;</r>", "r(\"x\n\"'\ny&\")"},
  };
  for (const auto& c : cases) {
    bool ok = false;
    TIntf<TXMLDocument> doc = LoadUtf8(c.Input, &ok);
    EXPECT_TRUE(ok) << c.Input << ": " << doc->ParseError().Message();
    EXPECT_EQ(Dump(doc.Get()), std::string("#document(") + c.Tree + ")") << c.Input;
  }
}

TEST(XMLParser, DeclaredEncodingsByEveryRegisteredName) {
  // "é" (or a letter of the script) in each encoding, under names and aliases.
  const struct {
    const char* Name;
    uint16_t CodePage;
    const char* Bytes;
    const char16_t* Text;
  } cases[] = {
      {"Shift_JIS", 932, "\x93\xfa", u"\u65E5"},
      {"windows-31j", 932, "\x93\xfa", u"\u65E5"},
      {"MS_Kanji", 932, "\x82\xa0", u"\u3042"},
      {"GBK", 936, "\xc4\xe3", u"\u4F60"},
      {"GB2312", 936, "\xc4\xe3", u"\u4F60"},
      {"Big5", 950, "\xa4\xa4", u"\u4E2D"},
      {"EUC-JP", 51932, "\xc6\xfc", u"\u65E5"},
      {"EUC-KR", 51949, "\xc7\xd1", u"\uD55C"},
      {"ISO-8859-2", 28592, "\xb1", u"\u0105"},
      {"latin2", 28592, "\xb1", u"\u0105"},
      {"csISOLatin2", 28592, "\xb1", u"\u0105"},
      {"ISO_8859-5:1988", 28595, "\xd0", u"\u0430"},
      {"KOI8-R", 20866, "\xc1", u"\u0430"},
      {"l1", 28591, "\xe9", u"\u00E9"},
      {"US-ASCII", 20127, "e", u"e"},
      {"IBM866", 866, "\xa0", u"\u0430"},
      {"windows-1251", 1251, "\xe0", u"\u0430"},
      {"cswindows1252", 1252, "\x80", u"\u20AC"},
      {"ISO-8859-15", 28605, "\xa4", u"\u20AC"},
      {"UTF-8", 65001, "\xc3\xa9", u"\u00E9"},
  };
  for (const auto& c : cases) {
    uint16_t cp = 0;
    ASSERT_TRUE(LookupCodePage(W(c.Name), cp)) << c.Name;
    EXPECT_EQ(cp, c.CodePage) << c.Name;
    std::string input = std::string("<?xml version=\"1.0\" encoding=\"") + c.Name + "\"?><r>" + c.Bytes + "</r>";
    TIntf<TXMLDocument> doc(new TXMLDocument);
    base::TStringStream stream(input);
    bool ok = doc->Load(&stream, 65001);
    if (CanConvertCodePage(cp)) {
      ASSERT_TRUE(ok) << c.Name << ": " << doc->ParseError().Message();
      EXPECT_EQ(doc->GetDocumentElement()->GetText(), c.Text) << c.Name;
    } else {
      // A host without the code page says so instead of reading garbage.
      ASSERT_FALSE(ok) << c.Name;
      EXPECT_EQ(doc->GetParseError()->GetCode(), xeEncodingUnsupported) << c.Name;
    }
  }
  // A name nobody registered is a parse error that names it, not UTF-8 in disguise.
  for (const char* name : {"ucs-2", "x-no-such", ""}) {
    TIntf<TXMLDocument> doc(new TXMLDocument);
    base::TStringStream stream(std::string("<?xml version=\"1.0\" encoding=\"") + name + "\"?>\n<r>\xC3\xA9</r>");
    ASSERT_FALSE(doc->Load(&stream, 65001)) << name;
    EXPECT_EQ(doc->GetParseError()->GetCode(), xeEncodingUnsupported);
    EXPECT_EQ(doc->ParseError().Message(),
              std::string("System does not support the specified encoding: ") + name + ".");
    EXPECT_EQ(doc->GetParseError()->GetLineNumber(), 1);
  }
}
