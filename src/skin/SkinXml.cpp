#include "skin/SkinXml.h"

#include "base/Strings.h"

namespace skin {

using xml::IXMLNode;
using xml::TIntf;

std::string Attr(IXMLNode* node, std::string_view name) {
  TIntf<xml::IXMLNamedNodeMap> attrs = node->GetAttributes();
  if (!attrs) return {};
  int32_t n = attrs->GetLength();
  for (int32_t i = 0; i < n; ++i) {
    TIntf<IXMLNode> a = attrs->GetItem(i);
    if (a && base::SameText(base::WideToAnsi(a->GetNodeName()), name)) return base::WideToAnsi(a->GetNodeValue());
  }
  return {};
}

bool HasAttr(IXMLNode* node, std::string_view name) { return !Attr(node, name).empty(); }

std::string NodeName(IXMLNode* node) { return base::WideToAnsi(node->GetNodeName()); }

bool IsNamed(IXMLNode* node, std::string_view name) { return base::SameText(NodeName(node), name); }

std::vector<TIntf<IXMLNode>> ElementChildren(IXMLNode* node) {
  std::vector<TIntf<IXMLNode>> out;
  TIntf<xml::IXMLNodeList> children = node->GetChildNodes();
  if (!children) return out;
  int32_t n = children->GetLength();
  for (int32_t i = 0; i < n; ++i) {
    TIntf<IXMLNode> c = children->GetItem(i);
    if (c && c->GetNodeType() == xml::ELEMENT_NODE) out.push_back(c);
  }
  return out;
}

std::string NodeText(IXMLNode* node) {
  std::u16string text;
  TIntf<xml::IXMLNodeList> children = node->GetChildNodes();
  if (children) {
    int32_t n = children->GetLength();
    for (int32_t i = 0; i < n; ++i) {
      TIntf<IXMLNode> c = children->GetItem(i);
      if (c && c->GetNodeType() != xml::ELEMENT_NODE) text += c->GetNodeValue();
    }
  }
  return base::WideToAnsi(text);
}

}  // namespace skin
