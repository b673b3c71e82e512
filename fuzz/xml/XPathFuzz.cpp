// Evaluates arbitrary path expressions (UTF-8) on a fixed document from several context
// nodes: no overrun, no endless loop, results are nodes of the document.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/Strings.h"
#include "xml/XMLDocument.h"
#include "xml/XPathLite.h"

using namespace xml;

namespace {

TXMLDocument& Fixture() {
  static TXMLDocument* doc = [] {
    auto* d = new TXMLDocument(true);
    d->LoadFromText(
        u"<?xml version=\"1.0\"?><skin><items><item name='A' size='2'>one</item><item name='b'>two</item>"
        u"<item/></items><group id='g'><items><item name='c' q='x\"y'/></items><!--c--><?p d?></group>"
        u"<x><![CDATA[z]]></x></skin>");
    return d;
  }();
  return *doc;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string expression = base::Utf8ToWide(std::string(reinterpret_cast<const char*>(data), size));
  TXMLDocument& doc = Fixture();
  TIntf<IXMLNode> root(doc.GetDocumentElement().Get());
  TIntf<IXMLNode> contexts[] = {root, root->GetFirstChild(), root->GetFirstChild()->GetFirstChild(),
                                TIntf<IXMLNode>(&doc)};
  for (const TIntf<IXMLNode>& context : contexts) {
    TIntf<IXMLNodeList> list = context->SelectNodeList(expression);
    for (int32_t i = 0; i < list->GetLength(); ++i) {
      TIntf<IXMLNode> node = list->GetItem(i);
      if (!node) std::abort();
      if (node->GetNodeType() != ATTRIBUTE_NODE && node.Get() != static_cast<IXMLNode*>(&doc) &&
          !node->GetOwnerDocument())
        std::abort();
    }
    TIntf<IXMLNode> first = context->SelectFirstNode(expression);
    if (first) (void)first->GetNodeName();
  }
  return 0;
}
