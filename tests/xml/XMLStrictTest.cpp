#include <gtest/gtest.h>

#include <chrono>

#include "XMLTestUtil.h"
#include "base/Stream.h"
#include "xml/XMLException.h"
#include "xml/XMLStrictReader.h"

using namespace xml;
using namespace xmltest;

namespace {

// Loads bytes strictly; the XML code of the error, or 0 when the document is well-formed.
int32_t StrictCode(const std::string& bytes, TIntf<TXMLDocument>* loaded = nullptr) {
  TIntf<TXMLDocument> doc(new TXMLDocument);
  doc->SetStrict(true);
  base::TStringStream stream(bytes);
  bool ok = doc->Load(&stream, 65001);
  if (loaded) *loaded = doc;
  return ok ? 0 : doc->GetParseError()->GetCode();
}

struct TCase {
  const char* Input;
  TXMLErrorCode Code;     // xeNone: well-formed
  const char* Tree = "";  // the tree of a well-formed one, when it matters
};

void RunTable(const char* group, std::initializer_list<TCase> cases) {
  for (const TCase& c : cases) {
    TIntf<TXMLDocument> doc;
    EXPECT_EQ(StrictCode(c.Input, &doc), c.Code) << group << ": " << c.Input << "\n" << doc->ParseError().Message();
    if (c.Code == xeNone && *c.Tree) {
      EXPECT_EQ(Dump(doc.Get()), std::string("#document(") + c.Tree + ")") << c.Input;
    }
  }
}

}  // namespace

TEST(XMLStrict, DocumentAndProlog) {
  RunTable("document", {
                           {"<r/>", xeNone, "r"},
                           {"", xeNoRoot},
                           {"<!-- c --> ", xeNoRoot},
                           {"<r/><s/>", xeMultipleRoots},
                           {"<r/>x", xeBadTopLevelChar},
                           {"x<r/>", xeBadTopLevelChar},
                           {"<1r/>", xeBadTopLevelChar},
                           {"<r></r>  <!--a--><?p?>\n", xeNone, "r,<!--a-->,<?p ?>"},
                       });
  RunTable("XMLDecl", {
                          {"<?xml version='1.0' encoding='UTF-8' standalone='yes'?><r/>", xeNone},
                          {"<?xml version=\"1.0\" ?><r/>", xeNone},
                          {"<?xml version='1.1'?><r/>", xeNone},
                          {"<?xml version='2.0'?><r/>", xeBadVersion},
                          {"<?xml version='1.'?><r/>", xeBadVersion},
                          {"<?xml encoding='UTF-8'?><r/>", xeVersionRequired},
                          {"<?xml version='1.0' standalone='maybe'?><r/>", xeBadStandalone},
                          {"<?xml version='1.0'encoding='UTF-8'?><r/>", xeXMLDeclSyntax},
                          {"<?xml version='1.0' encoding='9x'?><r/>", xeBadXMLDecl},
                          {"<?xml version='1.0' standalone='yes' encoding='UTF-8'?><r/>", xeXMLDeclSyntax},
                          {" <?xml version='1.0'?><r/>", xeBadXMLDecl},
                          {"<r/><?xml version='1.0'?>", xeBadXMLDecl},
                          {"<?XML version='1.0'?><r/>", xeReservedNameCase},
                          {"<?xml version='1.0' encoding='x-no-such'?><r/>", xeEncodingUnsupported},
                      });
}

TEST(XMLStrict, MarkupAndCharacters) {
  RunTable("Comment", {
                          {"<r><!-- a-b --></r>", xeNone, "r(<!-- a-b -->)"},
                          {"<r><!-- a--b --></r>", xeCommentSyntax},
                          {"<r><!-- a ---></r>", xeCommentSyntax},
                          {"<r><!-- a", xeCommentUnclosed},
                      });
  RunTable("PI", {
                     {"<r><?p?></r>", xeNone, "r(<?p ?>)"},
                     {"<r><?p  x y?></r>", xeNone, "r(<?p x y?>)"},
                     {"<r><?xml-stylesheet x?></r>", xeNone},
                     {"<r><?px?y?></r>", xeWhiteSpaceMissing},
                     {"<r><?p x", xePIUnclosed},
                 });
  RunTable("CDSect and CharData", {
                                      {"<r><![CDATA[<&]]]></r>", xeNone, "r(<![<&]]>)"},
                                      {"<r><![CDATA[x", xeCDATAUnclosed},
                                      {"<r>]]></r>", xeCDATAEndInContent},
                                      {"<r>]]</r>", xeNone, "r(\"]]\")"},
                                      {"<r>a]>b</r>", xeNone, "r(\"a]>b\")"},
                                      {"<r>\x01</r>", xeBadTextChar},
                                      {"<r>\xEF\xBF\xBE</r>", xeBadTextChar},
                                      {"<r>\xF0\x9F\x98\x80</r>", xeNone},
                                      {"<r>\r\na\rb</r>", xeNone, "r(\"a\nb\")"},
                                  });
  RunTable("CharRef", {
                          {"<r>&#65;&#x42;&#x10FFFF;</r>", xeNone},
                          {"<r>&#0;</r>", xeBadCharValue},
                          {"<r>&#xD800;</r>", xeBadCharValue},
                          {"<r>&#x110000;</r>", xeBadCharValue},
                          {"<r>&#x;</r>", xeBadHexDigit},
                          {"<r>&#12a;</r>", xeBadDecimalDigit},
                          {"<r>&#X41;</r>", xeBadDecimalDigit},
                          {"<r>&#13;&#9;</r>", xeNone, "r(\"\r\t\")"},
                      });
  RunTable("Names and tags", {
                                 {"<r\xC2\xB7/>", xeNone},
                                 {"<\xC2\xB7r/>", xeBadTopLevelChar},
                                 {"<r 1a='x'/>", xeBadNameStart},
                                 {"<r></s>", xeEndTagMismatch},
                                 {"<r>", xeElementUnclosed},
                                 {"<r><a></r>", xeEndTagMismatch},
                                 {"<r></r >", xeNone},
                                 {"<r/ >", xeGreaterThanExpected},
                                 {"<r></r", xeEndTagUnclosed},
                             });
  RunTable("Attribute", {
                            {"<r a='1' a='2'/>", xeDuplicateAttribute},
                            {"<r a='1' A='2'/>", xeNone, "r[a=1 A=2]"},
                            {"<r b='' c='' d='' e='' f='' g='' h='' i='' j='' b=''/>", xeDuplicateAttribute},
                            {"<r a='<'/>", xeLessThanInAttribute},
                            {"<r a=1/>", xeQuoteExpected},
                            {"<r a='1'b='2'/>", xeWhiteSpaceMissing},
                            {"<r a '1'/>", xeMissingEquals},
                            {"<r a='x&#9;y\tz\n&#13;'/>", xeNone, "r[a=x\ty z \r]"},
                            {"<r a='x\"", xeLiteralUnclosed},
                        });
}

TEST(XMLStrict, DocumentTypeAndEntities) {
  RunTable("doctypedecl", {
                              {"<!DOCTYPE r><r/>", xeNone},
                              {"<!DOCTYPE r SYSTEM 'r.dtd'><r/>", xeNone},
                              {"<!DOCTYPE r PUBLIC '-//x//y' 'r.dtd'><r/>", xeNone},
                              {"<!DOCTYPE r PUBLIC 'a\"b' 'x'><r/>", xeBadPublicID},
                              {"<!DOCTYPE r PUBLIC 'a'><r/>", xeWhiteSpaceMissing},
                              {"<!DOCTYPE r><!DOCTYPE r><r/>", xeMultipleDoctypes},
                              {"<!DOCTYPE r [<!-- it's -->]><r>x</r>", xeNone, "<!DOCTYPE r [<!-- it's -->]>,r(\"x\")"},
                              {"<!DOCTYPE r [<![INCLUDE[]]>]><r/>", xeConditionalInSubset},
                              {"<!DOCTYPE r [<!FOO>]><r/>", xeBadDTDChar},
                              {"<!DOCTYPE r [", xeDeclarationUnclosed},
                          });
  RunTable("elementdecl and AttlistDecl",
           {
               {"<!DOCTYPE r [<!ELEMENT r (a|b)*><!ELEMENT a EMPTY><!ELEMENT b ANY>]><r/>", xeNone},
               {"<!DOCTYPE r [<!ELEMENT r ((a,b?)|c+)><!ELEMENT s (#PCDATA)>]><r/>", xeNone},
               {"<!DOCTYPE r [<!ELEMENT r (#PCDATA|a)*>]><r/>", xeNone},
               {"<!DOCTYPE r [<!ELEMENT r (#PCDATA|a)>]><r/>", xeMixedContentNotStarred},
               {"<!DOCTYPE r [<!ELEMENT r (#PCDATA|a|a)*>]><r/>", xeDuplicateMixedName},
               {"<!DOCTYPE r [<!ELEMENT r (a|b,c)>]><r/>", xeBadContentModelChar},
               {"<!DOCTYPE r [<!ELEMENT r (a>]><r/>", xeParenthesisMissing},
               {"<!DOCTYPE r [<!ELEMENT r FOO>]><r/>", xeBadContentModel},
               {"<!DOCTYPE r [<!ATTLIST r x CDATA #IMPLIED y (p|q) 'p' z ID #REQUIRED n NOTATION (g) #IMPLIED>]><r/>",
                xeNone},
               {"<!DOCTYPE r [<!ATTLIST r x CDATA '<'>]><r/>", xeLessThanInAttribute},
               {"<!DOCTYPE r [<!ATTLIST r x CDATA #DEFAULT>]><r/>", xeBadAttDef},
               {"<!DOCTYPE r [<!ATTLIST r x FOO #IMPLIED>]><r/>", xeBadAttlistType},
               {"<!DOCTYPE r [<!ATTLIST r x CDATA '&u;'>]><r/>", xeUndefinedEntity},
               {"<!DOCTYPE r [<!NOTATION n PUBLIC 'p'><!NOTATION m SYSTEM 's'>]><r/>", xeNone},
           });
  RunTable(
      "EntityDecl and references",
      {
          {"<r>&lt;&gt;&amp;&apos;&quot;</r>", xeNone, "r(\"<>&'\"\")"},
          {"<r>&e;</r>", xeUndefinedEntity},
          {"<r>&eacute;</r>", xeUndefinedEntity},
          {"<!DOCTYPE r [<!ENTITY e 'x'>]><r>a&e;b</r>", xeNone, "<!DOCTYPE r [<!ENTITY e 'x'>]>,r(\"axb\")"},
          {"<!DOCTYPE r [<!ENTITY e 'x<b>y</b>'>]><r>&e;</r>", xeNone,
           "<!DOCTYPE r [<!ENTITY e 'x<b>y</b>'>]>,r(\"x\",b(\"y\"))"},
          {"<!DOCTYPE r [<!ENTITY e 'a&#38;#60;b'>]><r>&e;</r>", xeNone},
          {"<!DOCTYPE r [<!ENTITY e 'a&#60;b'>]><r>&e;</r>", xeElementUnclosed},
          {"<!DOCTYPE r [<!ENTITY e '<a>'>]><r>&e;</a></r>", xeElementUnclosed},
          {"<!DOCTYPE r [<!ENTITY e '</r>'>]><r>&e;", xeEntityError},
          {"<!DOCTYPE r [<!ENTITY e '&e;'>]><r>&e;</r>", xeEntityLoop},
          {"<!DOCTYPE r [<!ENTITY a '&b;'><!ENTITY b '&a;'>]><r>&a;</r>", xeEntityLoop},
          {"<!DOCTYPE r [<!ENTITY e SYSTEM 'x.ent'>]><r a='&e;'/>", xeExternalEntityInAttribute},
          {"<!DOCTYPE r [<!ENTITY e SYSTEM 'x.ent'>]><r>&e;</r>", xeNone,
           "<!DOCTYPE r [<!ENTITY e SYSTEM 'x.ent'>]>,r"},
          {"<!DOCTYPE r [<!NOTATION n SYSTEM 'n'><!ENTITY e SYSTEM 'x' NDATA n>]><r>&e;</r>",
           xeUnparsedEntityReference},
          {"<!DOCTYPE r [<!ENTITY % p SYSTEM 'p' NDATA n>]><r/>", xeNDATAInParameterEntity},
          {"<!DOCTYPE r SYSTEM 'r.dtd'><r>&u;</r>", xeNone},
          {"<?xml version='1.0' standalone='yes'?><!DOCTYPE r SYSTEM 'r.dtd'><r>&u;</r>", xeUndefinedEntity},
          {"<!DOCTYPE r [<!ENTITY % p '<!ENTITY e \"v\">'>%p;]><r>&e;</r>", xeNone},
          {"<!DOCTYPE r [%p;]><r>&u;</r>", xeNone},
          {"<?xml version='1.0' standalone='yes'?><!DOCTYPE r [%p;]><r/>", xeUndefinedEntity},
          {"<!DOCTYPE r [<!ENTITY e '%p;'>]><r/>", xeParameterEntityInMarkup},
          {"<!DOCTYPE r [<!ENTITY e 'x'><!ENTITY e 'y'>]><r>&e;</r>", xeNone,
           "<!DOCTYPE r [<!ENTITY e 'x'><!ENTITY e 'y'>]>,r(\"x\")"},
          {"<!DOCTYPE r [<!ENTITY e 'x'>]><r a='&e;&#9;'/>", xeNone},
          {"<!DOCTYPE r [<!ENTITY e '<'>]><r a='&e;'/>", xeLessThanInAttribute},
          {"<!DOCTYPE r [<!ENTITY e \"&#60;\">]><r a='&e;'/>", xeLessThanInAttribute},
          {"<!DOCTYPE r [<!ENTITY e 'a&#9;b'>]><r a='&e;'/>", xeNone, "<!DOCTYPE r [<!ENTITY e 'a&#9;b'>]>,r[a=a b]"},
          {"<!DOCTYPE r [<!ENTITY e 'x&y'>]><r/>", xeSemicolonExpected},
      });
  RunTable("encodings", {
                            {"\xEF\xBB\xBF<r/>", xeNone},
                            {"<r>\xC3</r>", xeBadEncoding},
                            {"<r>\xED\xA0\x80</r>", xeBadEncoding},
                            {"<?xml version='1.0' encoding='ISO-8859-1'?><r>\xE9</r>", xeNone,
                             "<?xml version='1.0' encoding='ISO-8859-1'?>,r(\"\xC3\xA9\")"},
                        });
}

TEST(XMLStrict, ExpansionAttacksAreRefusedQuicklyAndLenientReadingStays) {
  std::string laughs = "<!DOCTYPE r [<!ENTITY l0 'lol'>";
  for (int i = 1; i <= 9; ++i) {
    laughs += "<!ENTITY l" + std::to_string(i) + " '";
    for (int k = 0; k < 10; ++k) laughs += "&l" + std::to_string(i - 1) + ";";
    laughs += "'>";
  }
  laughs += "]><r>&l9;</r>";
  std::string quadratic = "<!DOCTYPE r [<!ENTITY a '" + std::string(50000, 'a') + "'>]><r>";
  for (int i = 0; i < 50000; ++i) quadratic += "&a;";
  quadratic += "</r>";
  for (const std::string* attack : {&laughs, &quadratic}) {
    auto start = std::chrono::steady_clock::now();
    TIntf<TXMLDocument> doc;
    EXPECT_EQ(StrictCode(*attack, &doc), xeEntityError);
    EXPECT_NE(doc->ParseError().Message().find("Entities expand to more than 1048576 characters."), std::string::npos)
        << doc->ParseError().Message();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));  // under sanitizers, too
    // The lenient reader keeps the subset as text and knows no such entity, as before.
    bool ok = true;
    TIntf<TXMLDocument> lenient = LoadUtf8(*attack, &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(lenient->GetParseError()->GetCode(), xeUndefinedEntity);
    EXPECT_EQ(U(lenient->GetDocType()->GetNodeValue()).substr(0, 12), "r [<!ENTITY ");
  }
  // Entities inside one another are bounded too.
  std::string deep = "<!DOCTYPE r [<!ENTITY e0 'x'>";
  for (int i = 1; i <= kMaxEntityDepth + 1; ++i)
    deep += "<!ENTITY e" + std::to_string(i) + " '&e" + std::to_string(i - 1) + ";'>";
  deep += "]><r>&e" + std::to_string(kMaxEntityDepth + 1) + ";</r>";
  TIntf<TXMLDocument> doc;
  EXPECT_EQ(StrictCode(deep, &doc), xeEntityError);
  EXPECT_NE(doc->ParseError().Message().find("nest more than 16 deep"), std::string::npos);
}

TEST(XMLStrict, ErrorRecordsPointAtTheFault) {
  EXPECT_EQ(StrictCode(std::string("<\0r\0/\0>\0", 8)), xeNone);  // UTF-16 without a mark
  EXPECT_EQ(StrictCode(std::string("\xFE\xFF\0<\0r\0/\0>", 10)), xeNone);
  TIntf<TXMLDocument> doc;
  ASSERT_EQ(StrictCode("<r>\n  <a x='1' x='2'/>\n</r>", &doc), xeDuplicateAttribute);
  IXMLParseError* e = doc->GetParseError().Get();
  EXPECT_EQ(e->GetLineNumber(), 2);
  EXPECT_EQ(e->GetColumn(), 12);
  EXPECT_EQ(U(e->GetSourceLine()), "  <a x='1' x");
  EXPECT_EQ(doc->ParseError().Message(), "Duplicate attribute.");
}

TEST(XMLStrict, LargeTextsOneAfterAnotherKeepTheirOwnContents) {
  // Texts of more than 4 MiB are decoded into memory that the next such load may take
  // again: each load must see its own text alone, whatever the one before left there.
  auto make = [](size_t items, const std::string& tail) {
    std::string s = "<r>";
    for (size_t i = 0; i < items; ++i) s += "<i v='" + std::to_string(i) + "'>text</i>";
    return s + tail;
  };
  TIntf<TXMLDocument> doc;
  EXPECT_EQ(StrictCode(make(100000, "</r>"), &doc), xeNone);
  EXPECT_EQ(doc->GetDocumentElement()->GetChildNodes()->GetLength(), 100000);
  doc = nullptr;
  // Shorter, and cut off: the error record's line comes from this text.
  ASSERT_EQ(StrictCode(make(96000, "<x y='1'"), &doc), xeElementUnclosed);
  std::string line = U(doc->GetParseError()->GetSourceLine());
  EXPECT_EQ(line.substr(line.size() - 8), "<x y='1'");
  doc = nullptr;
  EXPECT_EQ(StrictCode(make(104000, "</r>"), &doc), xeNone);
  EXPECT_EQ(U(doc->GetDocumentElement()->GetLastChild()->GetAttribute(u"v")), "103999");
}
