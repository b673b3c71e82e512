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
  int32_t Code;           // 0: well-formed
  const char* Tree = "";  // the tree of a well-formed one, when it matters
};

void RunTable(const char* group, std::initializer_list<TCase> cases) {
  for (const TCase& c : cases) {
    TIntf<TXMLDocument> doc;
    EXPECT_EQ(StrictCode(c.Input, &doc), c.Code) << group << ": " << c.Input << "\n" << doc->ParseError().Message();
    if (c.Code == 0 && *c.Tree) {
      EXPECT_EQ(Dump(doc.Get()), std::string("#document(") + c.Tree + ")") << c.Input;
    }
  }
}

}  // namespace

TEST(XMLStrict, DocumentAndProlog) {
  RunTable("document", {
                           {"<r/>", 0, "r"},
                           {"", 46},
                           {"<!-- c --> ", 46},
                           {"<r/><s/>", 43},
                           {"<r/>x", 44},
                           {"x<r/>", 44},
                           {"<1r/>", 44},
                           {"<r></r>  <!--a--><?p?>\n", 0, "r,<!--a-->,<?p ?>"},
                       });
  RunTable("XMLDecl", {
                          {"<?xml version='1.0' encoding='UTF-8' standalone='yes'?><r/>", 0},
                          {"<?xml version=\"1.0\" ?><r/>", 0},
                          {"<?xml version='1.1'?><r/>", 0},
                          {"<?xml version='2.0'?><r/>", 85},
                          {"<?xml version='1.'?><r/>", 85},
                          {"<?xml encoding='UTF-8'?><r/>", 63},
                          {"<?xml version='1.0' standalone='maybe'?><r/>", 79},
                          {"<?xml version='1.0'encoding='UTF-8'?><r/>", 12},
                          {"<?xml version='1.0' encoding='9x'?><r/>", 45},
                          {"<?xml version='1.0' standalone='yes' encoding='UTF-8'?><r/>", 12},
                          {" <?xml version='1.0'?><r/>", 84},
                          {"<r/><?xml version='1.0'?>", 84},
                          {"<?XML version='1.0'?><r/>", 76},
                          {"<?xml version='1.0' encoding='x-no-such'?><r/>", 68},
                      });
}

TEST(XMLStrict, MarkupAndCharacters) {
  RunTable("Comment", {
                          {"<r><!-- a-b --></r>", 0, "r(<!-- a-b -->)"},
                          {"<r><!-- a--b --></r>", 8},
                          {"<r><!-- a ---></r>", 8},
                          {"<r><!-- a", 55},
                      });
  RunTable("PI", {
                     {"<r><?p?></r>", 0, "r(<?p ?>)"},
                     {"<r><?p  x y?></r>", 0, "r(<?p x y?>)"},
                     {"<r><?xml-stylesheet x?></r>", 0},
                     {"<r><?px?y?></r>", 14},
                     {"<r><?p x", 51},
                 });
  RunTable("CDSect and CharData", {
                                      {"<r><![CDATA[<&]]]></r>", 0, "r(<![<&]]>)"},
                                      {"<r><![CDATA[x", 58},
                                      {"<r>]]></r>", 50},
                                      {"<r>]]</r>", 0, "r(\"]]\")"},
                                      {"<r>a]>b</r>", 0, "r(\"a]>b\")"},
                                      {"<r>\x01</r>", 13},
                                      {"<r>\xEF\xBF\xBE</r>", 13},
                                      {"<r>\xF0\x9F\x98\x80</r>", 0},
                                      {"<r>\r\na\rb</r>", 0, "r(\"a\nb\")"},
                                  });
  RunTable("CharRef", {
                          {"<r>&#65;&#x42;&#x10FFFF;</r>", 0},
                          {"<r>&#0;</r>", 36},
                          {"<r>&#xD800;</r>", 36},
                          {"<r>&#x110000;</r>", 36},
                          {"<r>&#x;</r>", 35},
                          {"<r>&#12a;</r>", 34},
                          {"<r>&#X41;</r>", 34},
                          {"<r>&#13;&#9;</r>", 0, "r(\"\r\t\")"},
                      });
  RunTable("Names and tags", {
                                 {"<r\xC2\xB7/>", 0},
                                 {"<\xC2\xB7r/>", 44},
                                 {"<r 1a='x'/>", 9},
                                 {"<r></s>", 67},
                                 {"<r>", 52},
                                 {"<r><a></r>", 67},
                                 {"<r></r >", 0},
                                 {"<r/ >", 15},
                                 {"<r></r", 53},
                             });
  RunTable("Attribute", {
                            {"<r a='1' a='2'/>", 42},
                            {"<r a='1' A='2'/>", 0, "r[a=1 A=2]"},
                            {"<r b='' c='' d='' e='' f='' g='' h='' i='' j='' b=''/>", 42},
                            {"<r a='<'/>", 11},
                            {"<r a=1/>", 7},
                            {"<r a='1'b='2'/>", 14},
                            {"<r a '1'/>", 4},
                            {"<r a='x&#9;y\tz\n&#13;'/>", 0, "r[a=x\ty z \r]"},
                            {"<r a='x\"", 54},
                        });
}

TEST(XMLStrict, DocumentTypeAndEntities) {
  RunTable("doctypedecl", {
                              {"<!DOCTYPE r><r/>", 0},
                              {"<!DOCTYPE r SYSTEM 'r.dtd'><r/>", 0},
                              {"<!DOCTYPE r PUBLIC '-//x//y' 'r.dtd'><r/>", 0},
                              {"<!DOCTYPE r PUBLIC 'a\"b' 'x'><r/>", 126},
                              {"<!DOCTYPE r PUBLIC 'a'><r/>", 14},
                              {"<!DOCTYPE r><!DOCTYPE r><r/>", 87},
                              {"<!DOCTYPE r [<!-- it's -->]><r>x</r>", 0, "<!DOCTYPE r [<!-- it's -->]>,r(\"x\")"},
                              {"<!DOCTYPE r [<![INCLUDE[]]>]><r/>", 77},
                              {"<!DOCTYPE r [<!FOO>]><r/>", 16},
                              {"<!DOCTYPE r [", 56},
                          });
  RunTable(
      "elementdecl and AttlistDecl",
      {
          {"<!DOCTYPE r [<!ELEMENT r (a|b)*><!ELEMENT a EMPTY><!ELEMENT b ANY>]><r/>", 0},
          {"<!DOCTYPE r [<!ELEMENT r ((a,b?)|c+)><!ELEMENT s (#PCDATA)>]><r/>", 0},
          {"<!DOCTYPE r [<!ELEMENT r (#PCDATA|a)*>]><r/>", 0},
          {"<!DOCTYPE r [<!ELEMENT r (#PCDATA|a)>]><r/>", 27},
          {"<!DOCTYPE r [<!ELEMENT r (#PCDATA|a|a)*>]><r/>", 100},
          {"<!DOCTYPE r [<!ELEMENT r (a|b,c)>]><r/>", 28},
          {"<!DOCTYPE r [<!ELEMENT r (a>]><r/>", 29},
          {"<!DOCTYPE r [<!ELEMENT r FOO>]><r/>", 71},
          {"<!DOCTYPE r [<!ATTLIST r x CDATA #IMPLIED y (p|q) 'p' z ID #REQUIRED n NOTATION (g) #IMPLIED>]><r/>", 0},
          {"<!DOCTYPE r [<!ATTLIST r x CDATA '<'>]><r/>", 11},
          {"<!DOCTYPE r [<!ATTLIST r x CDATA #DEFAULT>]><r/>", 75},
          {"<!DOCTYPE r [<!ATTLIST r x FOO #IMPLIED>]><r/>", 72},
          {"<!DOCTYPE r [<!ATTLIST r x CDATA '&u;'>]><r/>", 91},
          {"<!DOCTYPE r [<!NOTATION n PUBLIC 'p'><!NOTATION m SYSTEM 's'>]><r/>", 0},
      });
  RunTable(
      "EntityDecl and references",
      {
          {"<r>&lt;&gt;&amp;&apos;&quot;</r>", 0, "r(\"<>&'\"\")"},
          {"<r>&e;</r>", 91},
          {"<r>&eacute;</r>", 91},
          {"<!DOCTYPE r [<!ENTITY e 'x'>]><r>a&e;b</r>", 0, "<!DOCTYPE r [<!ENTITY e 'x'>]>,r(\"axb\")"},
          {"<!DOCTYPE r [<!ENTITY e 'x<b>y</b>'>]><r>&e;</r>", 0,
           "<!DOCTYPE r [<!ENTITY e 'x<b>y</b>'>]>,r(\"x\",b(\"y\"))"},
          {"<!DOCTYPE r [<!ENTITY e 'a&#38;#60;b'>]><r>&e;</r>", 0},
          {"<!DOCTYPE r [<!ENTITY e 'a&#60;b'>]><r>&e;</r>", 52},
          {"<!DOCTYPE r [<!ENTITY e '<a>'>]><r>&e;</a></r>", 52},
          {"<!DOCTYPE r [<!ENTITY e '</r>'>]><r>&e;", 98},
          {"<!DOCTYPE r [<!ENTITY e '&e;'>]><r>&e;</r>", 92},
          {"<!DOCTYPE r [<!ENTITY a '&b;'><!ENTITY b '&a;'>]><r>&a;</r>", 92},
          {"<!DOCTYPE r [<!ENTITY e SYSTEM 'x.ent'>]><r a='&e;'/>", 96},
          {"<!DOCTYPE r [<!ENTITY e SYSTEM 'x.ent'>]><r>&e;</r>", 0, "<!DOCTYPE r [<!ENTITY e SYSTEM 'x.ent'>]>,r"},
          {"<!DOCTYPE r [<!NOTATION n SYSTEM 'n'><!ENTITY e SYSTEM 'x' NDATA n>]><r>&e;</r>", 95},
          {"<!DOCTYPE r [<!ENTITY % p SYSTEM 'p' NDATA n>]><r/>", 93},
          {"<!DOCTYPE r SYSTEM 'r.dtd'><r>&u;</r>", 0},
          {"<?xml version='1.0' standalone='yes'?><!DOCTYPE r SYSTEM 'r.dtd'><r>&u;</r>", 91},
          {"<!DOCTYPE r [<!ENTITY % p '<!ENTITY e \"v\">'>%p;]><r>&e;</r>", 0},
          {"<!DOCTYPE r [%p;]><r>&u;</r>", 0},
          {"<?xml version='1.0' standalone='yes'?><!DOCTYPE r [%p;]><r/>", 91},
          {"<!DOCTYPE r [<!ENTITY e '%p;'>]><r/>", 48},
          {"<!DOCTYPE r [<!ENTITY e 'x'><!ENTITY e 'y'>]><r>&e;</r>", 0,
           "<!DOCTYPE r [<!ENTITY e 'x'><!ENTITY e 'y'>]>,r(\"x\")"},
          {"<!DOCTYPE r [<!ENTITY e 'x'>]><r a='&e;&#9;'/>", 0},
          {"<!DOCTYPE r [<!ENTITY e '<'>]><r a='&e;'/>", 11},
          {"<!DOCTYPE r [<!ENTITY e \"&#60;\">]><r a='&e;'/>", 11},
          {"<!DOCTYPE r [<!ENTITY e 'a&#9;b'>]><r a='&e;'/>", 0, "<!DOCTYPE r [<!ENTITY e 'a&#9;b'>]>,r[a=a b]"},
          {"<!DOCTYPE r [<!ENTITY e 'x&y'>]><r/>", 18},
      });
  RunTable("encodings", {
                            {"\xEF\xBB\xBF<r/>", 0},
                            {"<r>\xC3</r>", 25},
                            {"<r>\xED\xA0\x80</r>", 25},
                            {"<?xml version='1.0' encoding='ISO-8859-1'?><r>\xE9</r>", 0,
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
    EXPECT_EQ(StrictCode(*attack, &doc), 98);
    EXPECT_NE(doc->ParseError().Message().find("Entities expand to more than 1048576 characters."), std::string::npos)
        << doc->ParseError().Message();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));  // under sanitizers, too
    // The lenient reader keeps the subset as text and knows no such entity, as before.
    bool ok = true;
    TIntf<TXMLDocument> lenient = LoadUtf8(*attack, &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(lenient->GetParseError()->GetCode(), 91);
    EXPECT_EQ(U(lenient->GetDocType()->GetNodeValue()).substr(0, 12), "r [<!ENTITY ");
  }
  // Entities inside one another are bounded too.
  std::string deep = "<!DOCTYPE r [<!ENTITY e0 'x'>";
  for (int i = 1; i <= kMaxEntityDepth + 1; ++i)
    deep += "<!ENTITY e" + std::to_string(i) + " '&e" + std::to_string(i - 1) + ";'>";
  deep += "]><r>&e" + std::to_string(kMaxEntityDepth + 1) + ";</r>";
  TIntf<TXMLDocument> doc;
  EXPECT_EQ(StrictCode(deep, &doc), 98);
  EXPECT_NE(doc->ParseError().Message().find("nest more than 16 deep"), std::string::npos);
}

TEST(XMLStrict, ErrorRecordsPointAtTheFault) {
  EXPECT_EQ(StrictCode(std::string("<\0r\0/\0>\0", 8)), 0);  // UTF-16 without a mark
  EXPECT_EQ(StrictCode(std::string("\xFE\xFF\0<\0r\0/\0>", 10)), 0);
  TIntf<TXMLDocument> doc;
  ASSERT_EQ(StrictCode("<r>\n  <a x='1' x='2'/>\n</r>", &doc), 42);
  IXMLParseError* e = doc->GetParseError().Get();
  EXPECT_EQ(e->GetLineNumber(), 2);
  EXPECT_EQ(e->GetColumn(), 12);
  EXPECT_EQ(U(e->GetSourceLine()), "  <a x='1' x");
  EXPECT_EQ(doc->ParseError().Message(), "Duplicate attribute.");
}
