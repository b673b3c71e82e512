#include "XMLTestUtil.h"

#include "base/Stream.h"

namespace xmltest {

using namespace xml;

std::string Dump(IXMLNode* node) {
  if (!node) return "(none)";
  std::string out;
  switch (node->GetNodeType()) {
    case ELEMENT_NODE: {
      out = U(node->GetNodeName());
      TIntf<IXMLNamedNodeMap> attrs = node->GetAttributes();
      if (attrs->GetLength() > 0) {
        out += "[";
        for (int32_t i = 0; i < attrs->GetLength(); ++i) {
          if (i) out += " ";
          out += U(attrs->GetItem(i)->GetNodeName()) + "=" + U(attrs->GetItem(i)->GetNodeValue());
        }
        out += "]";
      }
      break;
    }
    case TEXT_NODE: return "\"" + U(node->GetNodeValue()) + "\"";
    case CDATA_SECTION_NODE: return "<![" + U(node->GetNodeValue()) + "]>";
    case COMMENT_NODE: return "<!--" + U(node->GetNodeValue()) + "-->";
    case PROCESSING_INSTRUCTION_NODE: return "<?" + U(node->GetNodeName()) + " " + U(node->GetNodeValue()) + "?>";
    case DOCUMENT_TYPE_NODE: return "<!DOCTYPE " + U(node->GetNodeValue()) + ">";
    case ATTRIBUTE_NODE: return "@" + U(node->GetNodeName()) + "=" + U(node->GetNodeValue());
    default: out = U(node->GetNodeName()); break;
  }
  TIntf<IXMLNodeList> children = node->GetChildNodes();
  if (children->GetLength() > 0) {
    out += "(";
    for (int32_t i = 0; i < children->GetLength(); ++i) {
      if (i) out += ",";
      out += Dump(children->GetItem(i));
    }
    out += ")";
  }
  return out;
}

TIntf<TXMLDocument> LoadUtf8(const std::string& text, bool* ok) {
  TIntf<TXMLDocument> doc(new TXMLDocument);
  base::TStringStream stream(text);
  bool loaded = doc->Load(&stream, 65001);
  if (ok) *ok = loaded;
  return doc;
}

}  // namespace xmltest
