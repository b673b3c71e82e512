#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "XMLTestUtil.h"
#include "base/Stream.h"
#include "xml/XMLException.h"
#include "xml/XMLNodeList.h"

using namespace xml;
using namespace xmltest;

namespace {

TIntf<TXMLDocument> Parse(const char16_t* text) {
  TIntf<TXMLDocument> doc(new TXMLDocument);
  EXPECT_TRUE(doc->LoadFromText(text));
  return doc;
}

TIntf<IXMLNode> Child(const TIntf<IXMLNode>& node, int32_t index) { return node->GetChildNodes()->GetItem(index); }

}  // namespace

TEST(XMLNode, ReadingOperations) {
  TIntf<TXMLDocument> doc = Parse(u"<a NAME='x' b='2'>t1<b>in</b><!--c-->t2<![CDATA[cd]]><?p d?></a>");
  TIntf<IXMLNode> a(doc->GetDocumentElement().Get());
  EXPECT_EQ(a->GetAttribute(u"name"), u"x");  // names ignore case
  EXPECT_EQ(a->GetAttribute(u"missing"), u"");
  EXPECT_EQ(a->GetNodeValue(), u"t1t2cdd");  // elements and comments do not count
  EXPECT_EQ(a->ReadChildValue(u"B"), u"in");
  EXPECT_FALSE(a->HasOnlyText());
  EXPECT_TRUE(Child(a, 1)->HasOnlyText());
  EXPECT_EQ(Dump(Child(a, 1)->GetNextSibling()), "<!--c-->");
  EXPECT_EQ(Dump(Child(a, 1)->GetPreviousSibling()), "\"t1\"");
  EXPECT_EQ(Dump(Child(a, 0)->GetPreviousSibling()), "(none)");
  EXPECT_EQ(Dump(a->GetLastChild()->GetNextSibling()), "(none)");
  EXPECT_EQ(Dump(a->GetAttributeNode(u"B")), "@b=2");
  EXPECT_EQ(Dump(a->GetAttributes()->GetNamedItemOrFail(u"name")), "@NAME=x");
  try {
    a->GetAttributes()->GetNamedItemOrFail(u"zz");
    ADD_FAILURE();
  } catch (const EXMLException& e) {
    EXPECT_EQ(e.Message(), "Node \"zz\" not found");
  }
  TIntf<TXMLDocument> nested = Parse(u"<r><x/><y><x><x/></x></y></r>");
  TIntf<IXMLNodeList> xs = nested->GetElementsByTagName(u"X");
  ASSERT_EQ(xs->GetLength(), 3);
  EXPECT_EQ(xs->GetItem(1)->GetParentNode()->GetNodeName(), u"y");
  EXPECT_EQ(xs->GetItem(2)->GetParentNode(), xs->GetItem(1));
}

TEST(XMLNode, TextAndWhiteSpace) {
  TIntf<TXMLDocument> doc = Parse(u"<a>  x  </a>");
  EXPECT_EQ(doc->GetText(), u"x  ");
  doc->SetKeepWhiteSpace(false);
  EXPECT_EQ(doc->GetText(), u"x");
  TIntf<IXMLElement> a = doc->GetDocumentElement();
  a->SetText(u"new");
  EXPECT_EQ(Dump(a.Get()), "a(\"new\")");
  a->SetText(u"");
  EXPECT_EQ(Dump(a.Get()), "a");
  a->SetNodeValue(u"v");       // no children: a text child is added
  a->SetNodeValue(u"w\r\nx");  // one text child: it takes the value
  EXPECT_EQ(Dump(a.Get()), "a(\"w\nx\")");
  a->AppendElement(u"c");
  try {
    a->SetNodeValue(u"y");
    ADD_FAILURE();
  } catch (const EXMLException& e) {
    EXPECT_EQ(e.DOMCode(), NO_MODIFICATION_ALLOWED_ERR);
    EXPECT_EQ(e.Message(), "This operation can not be performed with a Node of type ELEMENT.");
  }
  a->WriteChildValue(u"c", u"1");
  a->WriteChildValue(u"d", u"2");
  EXPECT_EQ(Dump(a.Get()), "a(\"w\nx\",c(\"1\"),d(\"2\"))");
  EXPECT_EQ(Dump(a->GetOrAddChild(u"D")), "d(\"2\")");
  EXPECT_EQ(Dump(a->GetOrAddChild(u"e")), "e");
  a->SetAttribute(u"k", u"1");
  a->SetAttribute(u"K", u"2");
  a->GetOrAddAttribute(u"m", u"");
  a->GetOrAddAttribute(u"k", u"3");
  EXPECT_EQ(Dump(a->GetAttributes()->GetItem(0)), "@k=3");
  EXPECT_EQ(a->GetAttributes()->GetLength(), 2);
}

TEST(XMLNode, EditingMovesNodesAndRefusesCycles) {
  TIntf<TXMLDocument> doc = Parse(u"<r><a><b/></a><c/></r>");
  TIntf<IXMLNode> r(doc->GetDocumentElement().Get());
  TIntf<IXMLNode> a = Child(r, 0), b = Child(a, 0), c = Child(r, 1);
  // Appending a node that is already in a list moves it.
  r->AppendChild(b.Get());
  EXPECT_EQ(Dump(r), "r(a,c,b)");
  EXPECT_EQ(b->GetParentNode(), r);
  r->AppendChild(a.Get());
  EXPECT_EQ(Dump(r), "r(c,b,a)");
  r->InsertBefore(a.Get(), c.Get());
  EXPECT_EQ(Dump(r), "r(a,c,b)");
  a->ReplaceChild(c.Get(), nullptr);
  EXPECT_EQ(Dump(r), "r(a,c,b)");
  // Refused: a node under itself or under its descendant, an attribute under an element.
  a->AppendChild(c.Get());
  for (IXMLNode* bad : {r.Get(), a.Get()}) {
    try {
      a->AppendChild(bad);
      ADD_FAILURE();
    } catch (const EXMLException& e) {
      EXPECT_EQ(e.DOMCode(), HIERARCHY_REQUEST_ERR);
      EXPECT_EQ(e.Message(), "Any node is inserted somewhere it doesn't belong");
    }
  }
  EXPECT_THROW(c->InsertBefore(r.Get(), nullptr), EXMLException);
  try {
    r->AppendChild(doc->CreateAttribute(u"x").Get());
    ADD_FAILURE();
  } catch (const EXMLException& e) {
    EXPECT_EQ(e.DOMCode(), HIERARCHY_REQUEST_ERR);
    EXPECT_EQ(e.XMLCode(), xeWrongNodeType);
    EXPECT_EQ(e.Message(), "This operation can not be performed with a Node of type ATTRIBUTE.");
  }
  try {
    r->InsertBefore(doc->CreateElement(u"n").Get(), c.Get());  // c is a grandchild
    ADD_FAILURE();
  } catch (const EXMLException& e) {
    EXPECT_EQ(e.DOMCode(), NOT_FOUND_ERR);
    EXPECT_EQ(e.Message(), "Invalid RefChild");
  }
  EXPECT_EQ(Dump(r), "r(a(c),b)");
  // A removed child no longer points at its old parent.
  EXPECT_EQ(r->RemoveChild(b.Get()), b);
  EXPECT_EQ(b->GetParentNode(), nullptr);
  EXPECT_EQ(b->GetNextSibling(), nullptr);
  TIntf<IXMLNode> old = r->ReplaceChild(b.Get(), a.Get());
  EXPECT_EQ(old, a);
  EXPECT_EQ(a->GetParentNode(), nullptr);
  EXPECT_EQ(Dump(r), "r(b)");
  r->GetChildNodes()->Clear();
  EXPECT_EQ(b->GetParentNode(), nullptr);
}

TEST(XMLNode, NodesOutliveTheirParentAndDocument) {
  TIntf<IXMLNode> kept, loose, attr;
  TIntf<IXMLNodeList> keptList;  // a child list kept while its node goes
  {
    TIntf<TXMLDocument> doc = Parse(u"<r a='1'><k>v</k><l><m/><n/></l></r>");
    kept = Child(TIntf<IXMLNode>(doc->GetDocumentElement().Get()), 0);
    attr = TIntf<IXMLNode>(doc->GetDocumentElement()->GetAttributeNode(u"a").Get());
    loose = TIntf<IXMLNode>(doc->CreateElement(u"loose").Get());
    keptList = Child(TIntf<IXMLNode>(doc->GetDocumentElement().Get()), 1)->GetChildNodes();
  }
  // The parent and the document are gone; the nodes know it.
  ASSERT_EQ(keptList->GetLength(), 2);
  EXPECT_EQ(keptList->GetItem(1)->GetParentNode(), nullptr);
  EXPECT_EQ(Dump(keptList->GetItem(1)), "n");
  EXPECT_EQ(kept->GetParentNode(), nullptr);
  EXPECT_EQ(kept->GetOwnerDocument(), nullptr);
  EXPECT_EQ(attr->GetParentNode(), nullptr);
  EXPECT_EQ(loose->GetOwnerDocument(), nullptr);
  EXPECT_EQ(Dump(kept), "k(\"v\")");
  kept->AppendElement(u"more");  // made without a document
  loose->SetAttribute(u"x", u"1");
  EXPECT_EQ(Dump(kept), "k(\"v\",more)");
  EXPECT_EQ(Dump(loose), "loose[x=1]");
}

TEST(XMLNode, AttributesAsReadBecomeNodesWhenFirstUsed) {
  // A load keeps attributes as read until they are asked for; whichever call comes
  // first, in either reader, they are the nodes the reader would have made, in order.
  for (bool strict : {false, true}) {
    auto load = [strict](const std::string& text, bool expectOk = true) {
      TIntf<TXMLDocument> doc(new TXMLDocument);
      doc->SetStrict(strict);
      base::TStringStream stream(text);
      EXPECT_EQ(doc->Load(&stream, 65001), expectOk) << text;
      return doc;
    };
    TIntf<TXMLDocument> doc = load("<r a='1' b='x&#9;y'><e c='3'/><f d='4'/></r>");
    TIntf<IXMLElement> r = doc->GetDocumentElement();
    r->SetAttribute(u"n", u"new");  // added after the ones read
    TIntf<IXMLNode> e = Child(TIntf<IXMLNode>(r.Get()), 0), f = Child(TIntf<IXMLNode>(r.Get()), 1);
    e->GetAttributes()->RemoveNamedItem(u"c");
    EXPECT_EQ(Dump(doc.Get()), "#document(r[a=1 b=x	y n=new](e,f[d=4]))") << strict;
    EXPECT_EQ(U(r->GetAttributes()->GetItem(1)->GetNodeValue()), "x	y");
    // An element kept past its document still has its attributes, as nodes of no document.
    doc = nullptr;
    r = nullptr;
    TIntf<IXMLAttr> d = f->GetAttributeNode(u"d");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->GetOwnerDocument(), nullptr);
    EXPECT_EQ(d->GetParentNode(), f);
    // A tag whose attributes outgrow the arena's block and the size it serves (kept on the
    // heap then), with a long value among them.
    std::string many = "<m";
    for (int i = 0; i < 3000; ++i) many += " a" + std::to_string(i) + "='v" + std::to_string(i) + "'";
    many += " long='" + std::string(40000, 'x') + "' z='end'/>";
    doc = load(many);
    TIntf<IXMLNamedNodeMap> attrs = doc->GetDocumentElement()->GetAttributes();
    ASSERT_EQ(attrs->GetLength(), 3002);
    EXPECT_EQ(U(attrs->GetItem(2999)->GetNodeName() + u"=" + attrs->GetItem(2999)->GetNodeValue()), "a2999=v2999");
    EXPECT_EQ(attrs->GetItem(3000)->GetNodeValue().size(), 40000u);
    EXPECT_EQ(U(attrs->GetItem(3001)->GetNodeValue()), "end");
    // A load cut off inside a value keeps the attribute as far as it was read.
    doc = load("<r a='1' b='x&bad;'/>", false);
    EXPECT_EQ(Dump(doc.Get()), strict ? "#document(r[a=1 b=x])" : "#document(r[a=1 b=])") << strict;
    // So does one cut off after its name: the attributes before it stay.
    doc = load("<r a='1' b='2' c/>", false);
    if (strict) {
      EXPECT_EQ(Dump(doc.Get()), "#document(r[a=1 b=2])");
    }
  }
}

TEST(XMLNode, NodesOfEarlierLoadsOutliveReloadsAndTheDocument) {
  // Loads cut their nodes from shared blocks: a node kept from any load, freed in any
  // order, must stay whole after the reloads and the document are gone.
  std::string input = "<r>";
  for (int i = 0; i < 3000; ++i) input += "<e n='" + std::to_string(i) + "'>t" + std::to_string(i) + "</e>";
  input += "</r>";
  std::vector<TIntf<IXMLNode>> kept;
  {
    TIntf<TXMLDocument> doc(new TXMLDocument);
    for (int round = 0; round < 3; ++round) {
      base::TStringStream stream(input);
      ASSERT_TRUE(doc->Load(&stream, 65001));
      TIntf<IXMLNode> r(doc->GetDocumentElement().Get());
      kept.push_back(r->GetChildNodes()->GetItem(round * 1000 + 7));
      kept.push_back(r);
    }
  }
  kept.erase(kept.begin() + 3);  // the root of the second load goes first
  EXPECT_EQ(Dump(kept[0]), "e[n=7](\"t7\")");
  EXPECT_EQ(Dump(kept[2]), "e[n=1007](\"t1007\")");
  EXPECT_EQ(Dump(kept[3]), "e[n=2007](\"t2007\")");
  EXPECT_EQ(kept[2]->GetParentNode(), nullptr);
  EXPECT_EQ(kept[1]->GetChildNodes()->GetLength(), 3000);
  kept.erase(kept.begin());
  EXPECT_EQ(Dump(kept[0]->GetChildNodes()->GetItem(2999)), "e[n=2999](\"t2999\")");
}

TEST(XMLNode, LargeLoadsOutliveTheirDocumentAndGiveTheirBlocksBackForTheNextLoad) {
  // A load this large goes on in the large blocks (mapped from the system on Linux); a
  // node kept from it stays whole after the document, and the blocks go back with it.
  size_t mappedBefore = MappedArenaBytes();
  std::string input = "<r>";
  for (int i = 0; i < 40000; ++i)
    input += "<item name='button" + std::to_string(i) + "' image='img/b.png'><cap>text " + std::to_string(i) +
             "</cap></item>";
  input += "</r>";
  TIntf<IXMLNode> kept;
  {
    TIntf<TXMLDocument> doc(new TXMLDocument);
    base::TStringStream stream(input);
    ASSERT_TRUE(doc->Load(&stream, 65001));
#if defined(__linux__)
    EXPECT_GT(MappedArenaBytes(), mappedBefore);
#endif
    kept = TIntf<IXMLNode>(doc->GetDocumentElement().Get())->GetChildNodes()->GetItem(39999);
  }
  EXPECT_EQ(kept->GetOwnerDocument(), nullptr);
  EXPECT_EQ(kept->GetParentNode(), nullptr);
  EXPECT_EQ(Dump(kept), "item[name=button39999 image=img/b.png](cap(\"text 39999\"))");
  kept = nullptr;
  EXPECT_EQ(MappedArenaBytes(), mappedBefore);
#if defined(__linux__)
  // The blocks are kept for the next large load, which takes them before mapping more.
  size_t keptAfterFirst = KeptArenaBytes();
  EXPECT_GT(keptAfterFirst, 0u);
  {
    TIntf<TXMLDocument> doc(new TXMLDocument);
    base::TStringStream stream(input);
    ASSERT_TRUE(doc->Load(&stream, 65001));
    EXPECT_LT(KeptArenaBytes(), keptAfterFirst);
  }
  EXPECT_EQ(KeptArenaBytes(), keptAfterFirst);
  EXPECT_LE(KeptArenaBytes(), size_t{256} << 20);
#endif
}

TEST(XMLNode, CreatorOwnedDocumentSurvivesCountedUse) {
  auto* doc = new TXMLDocument(true);
  ASSERT_TRUE(doc->LoadFromText(u"<a><b/></a>"));
  {
    TIntf<IXMLNode> b = doc->GetDocumentElement()->GetFirstChild();
    EXPECT_EQ(b->GetOwnerDocument().Get(), static_cast<IXMLDocument*>(doc));
  }
  EXPECT_EQ(Dump(doc), "#document(a(b))");
  delete doc;
}

TEST(XMLNode, CloningCopiesOnceAndIntoAnotherDocument) {
  TIntf<TXMLDocument> doc = Parse(u"<r x='1'>t<b y='2'>in</b><![CDATA[c]]><!--m--><?p d?></r>");
  TIntf<IXMLNode> r(doc->GetDocumentElement().Get());
  TIntf<IXMLNode> deep = r->CloneNode(true);
  EXPECT_EQ(Dump(deep), "r[x=1](\"t\",b[y=2](\"in\"),<![c]>,<!--m-->,<?p d?>)");
  EXPECT_EQ(deep->GetParentNode(), nullptr);
  EXPECT_EQ(deep->GetOwnerDocument(), TIntf<IXMLDocument>(doc.Get()));
  EXPECT_EQ(Dump(r->CloneNode(false)), "r[x=1]");
  // Without a target document a CDATA section becomes text.
  EXPECT_EQ(Dump(r->CloneNodeInto(nullptr, true)), "r[x=1](\"t\",b[y=2](\"in\"),\"c\",<!--m-->,<?p d?>)");
  TIntf<TXMLDocument> other(new TXMLDocument);
  TIntf<IXMLNode> moved = r->CloneNodeInto(other.Get(), true);
  EXPECT_EQ(moved->GetOwnerDocument(), TIntf<IXMLDocument>(other.Get()));
  other->AppendChild(moved.Get());
  EXPECT_EQ(Dump(other.Get()), "#document(" + Dump(deep) + ")");
  TIntf<IXMLNode> docCopy = doc->CloneNode(true);
  EXPECT_EQ(Dump(docCopy), Dump(doc.Get()));
  EXPECT_EQ(docCopy->GetFirstChild()->GetOwnerDocument(), Supports<IXMLDocument>(docCopy));

  TIntf<TXMLDocument> withType = Parse(u"<!DOCTYPE r><r/>");
  try {
    withType->GetFirstChild()->CloneNode(true);
    ADD_FAILURE();
  } catch (const EXMLAssertionFailed& e) {
    EXPECT_EQ(e.Message(), "NYI - CloneNode");
  }
}

TEST(XMLNode, DeclarationAndDocumentElement) {
  TIntf<TXMLDocument> doc(new TXMLDocument);
  EXPECT_EQ(doc->GetVersion(), u"");
  // Asking an empty document for its element adds one with an empty name.
  EXPECT_EQ(doc->GetDocumentElement()->GetNodeName(), u"");
  EXPECT_EQ(doc->GetChildNodes()->GetLength(), 1);
  doc->SetEncoding(u"windows-1252");
  EXPECT_EQ(Dump(doc->GetFirstChild()), "<?xml version=\"1.0\" encoding=\"windows-1252\"?>");
  doc->SetStandalone(u"yes");
  doc->SetVersion(u"1.1");
  EXPECT_EQ(Dump(doc->GetFirstChild()), "<?xml version=\"1.1\" encoding=\"windows-1252\" standalone=\"yes\"?>");
  EXPECT_EQ(doc->GetEncoding(), u"windows-1252");
  EXPECT_EQ(doc->GetFirstChild()->GetParentNode(), TIntf<IXMLNode>(doc.Get()));
  doc->SetDocumentElement(doc->CreateElement(u"root").Get());
  EXPECT_EQ(Dump(doc.Get()), "#document(<?xml version=\"1.1\" encoding=\"windows-1252\" standalone=\"yes\"?>,root)");
}

TEST(XMLNode, UnsupportedOperationsSayNYI) {
  TIntf<TXMLDocument> doc = Parse(u"<a>t</a>");
  TIntf<IXMLText> text = Supports<IXMLText>(doc->GetDocumentElement()->GetFirstChild());
  ASSERT_TRUE(text);
  const struct {
    std::function<void()> Call;
    const char* Message;
  } cases[] = {
      {[&] { text->SubstringData(0, 1); }, "NYI - SubstringData"},
      {[&] { text->AppendData(u"x"); }, "NYI - AppendData"},
      {[&] { text->InsertData(0, u"x"); }, "NYI - InsertData"},
      {[&] { text->DeleteData(0, 1); }, "NYI - DeleteData"},
      {[&] { text->ReplaceData(0, 1, u"x"); }, "NYI - ReplaceData"},
      {[&] { text->SplitText(0); }, "NYI - SplitText"},
      {[&] { doc->CreateEntityReference(u"e"); }, "NYI - CreateEntityReference"},
      {[&] { doc->GetDocumentElement()->RemoveAttribute(u"e"); }, "NYI - RemoveAttribute"},
      {[&] { doc->GetDocumentElement()->RemoveAttributeNode(nullptr); }, "NYI - RemoveAttributeNode"},
  };
  for (const auto& c : cases) {
    try {
      c.Call();
      ADD_FAILURE() << c.Message;
    } catch (const EXMLAssertionFailed& e) {
      EXPECT_EQ(e.Message(), c.Message);
    }
  }
  try {
    doc->CreateCDATASection(u"a]]>b");
    ADD_FAILURE();
  } catch (const EXMLException& e) {
    EXPECT_EQ(e.XMLCode(), xeCDATAEndInContent);
    EXPECT_EQ(e.DOMCode(), INVALID_CHARACTER_ERR);
  }
}
