#include <gtest/gtest.h>

#include "XMLTestUtil.h"
#include "xml/XMLException.h"

using namespace xml;
using namespace xmltest;

namespace {

struct TItemNode : TXMLElement {
  using TXMLElement::TXMLElement;
};
struct TOtherNode : TXMLElement {
  using TXMLElement::TXMLElement;
};
struct TItemsCollection : TXMLElement {
  using TXMLElement::TXMLElement;
};

template <class T>
bool Is(const TIntf<IXMLNode>& node) {
  return dynamic_cast<T*>(node.Get()) != nullptr;
}

}  // namespace

TEST(XMLRegistry, RegisteredTagsGetWrappingNodes) {
  TIntf<TXMLDocument> doc(new TXMLDocument);
  ASSERT_TRUE(doc->LoadFromText(u"<r><item k='1'>v</item><other/><ITEM/></r>"));
  TIntf<TXMLNode> r(dynamic_cast<TXMLNode*>(doc->GetDocumentElement().Get()));
  TIntf<IXMLNode> plainOther = r->GetChildNodes()->GetItem(1);
  r->RegisterChildNode(u"item", NodeClassOf<TItemNode>());
  TIntf<IXMLNodeList> children = r->GetChildNodes();
  ASSERT_EQ(children->GetLength(), 3);
  EXPECT_TRUE(Is<TItemNode>(children->GetItem(0)));
  EXPECT_EQ(children->GetItem(1), plainOther);
  EXPECT_TRUE(Is<TItemNode>(children->GetItem(2)));
  // A wrapping node shows the wrapped node and passes values on to it.
  TIntf<IXMLNode> item = children->GetItem(0);
  EXPECT_EQ(Dump(item), "item[k=1](\"v\")");
  EXPECT_EQ(item->GetParentNode(), TIntf<IXMLNode>(r.Get()));
  TIntf<IXMLNode> wrapped = item->GetWrappedNode();
  ASSERT_TRUE(wrapped);
  EXPECT_FALSE(Is<TItemNode>(wrapped));
  item->GetAttributes()->GetItem(0)->SetNodeValue(u"2");
  EXPECT_EQ(wrapped->GetAttribute(u"k"), u"2");
  EXPECT_EQ(r->GetMarkup(), u"<r><item k=\"2\">v</item><other/><ITEM/></r>");

  // The same tag again replaces the class; no class removes the entry.
  r->RegisterChildNode(u"item", NodeClassOf<TOtherNode>());
  r->RegisterChildNode(u"other", NodeClassOf<TOtherNode>());
  children = r->GetChildNodes();
  EXPECT_TRUE(Is<TOtherNode>(children->GetItem(0)));  // wraps the node the old wrapper wrapped
  EXPECT_FALSE(Is<TItemNode>(children->GetItem(0)->GetWrappedNode()));
  EXPECT_TRUE(Is<TOtherNode>(children->GetItem(1)));
  r->RegisterChildNode(u"other", nullptr);
  r->RegisterChildNode(u"item", nullptr);
  children = r->GetChildNodes();
  EXPECT_TRUE(Is<TOtherNode>(children->GetItem(1)));  // wrapping nodes already made stay
  EXPECT_TRUE(Is<TOtherNode>(children->GetItem(2)));
  try {
    r->RegisterChildNodes({u"a", u"b", u"c"}, {NodeClassOf<TItemNode>(), nullptr});
    ADD_FAILURE();
  } catch (const EXMLException& e) {
    EXPECT_EQ(e.Message(), "Mismatched paramaters to RegisterChildNodes");
    EXPECT_EQ(e.XMLCode(), xeNone);
  }
}

TEST(XMLRegistry, BindDocumentElementAndCollectionNodes) {
  TIntf<TXMLDocument> doc(new TXMLDocument);
  ASSERT_TRUE(doc->LoadFromText(u"<skin><a/><b/></skin>"));
  TIntf<IXMLElement> root = doc->BindDocumentElement(u"skin", NodeClassOf<TItemNode>());
  EXPECT_TRUE(dynamic_cast<TItemNode*>(root.Get()));
  TIntf<TXMLDocument> empty(new TXMLDocument);
  TIntf<IXMLElement> made = empty->BindDocumentElement(u"new", NodeClassOf<TItemNode>());
  EXPECT_EQ(Dump(empty.Get()), "#document(new)");
  EXPECT_TRUE(dynamic_cast<TItemNode*>(made.Get()));

  // A collection node shares its host's child list; registrations go to the host.
  TIntf<IXMLNodeAccess> host = Supports<IXMLNodeAccess>(root);
  const TGUID itemIID = IXMLElement::IID;
  TIntf<IXMLNode> collection = host->MakeCollectionNode(NodeClassOf<TItemsCollection>(), itemIID, u"a");
  auto* c = dynamic_cast<TXMLNode*>(collection.Get());
  ASSERT_TRUE(c);
  EXPECT_EQ(c->ItemTag(), u"a");
  EXPECT_TRUE(c->ItemIID() == itemIID);
  EXPECT_EQ(collection->GetChildNodes(), root->GetChildNodes());
  Supports<IXMLNodeAccess>(collection)->RegisterChildNode(u"b", NodeClassOf<TOtherNode>());
  EXPECT_TRUE(Is<TOtherNode>(root->GetChildNodes()->GetItem(1)));
  EXPECT_EQ(collection->GetChildNodes(), root->GetChildNodes());
  // The host goes first: the collection node lets go of it.
  root = nullptr;
  host = nullptr;
  doc = nullptr;
  EXPECT_EQ(c->Host(), nullptr);
  EXPECT_EQ(collection->GetChildNodes()->GetLength(), 2);
}
