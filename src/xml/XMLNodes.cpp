#include "xml/XMLNodes.h"

#include <string_view>
#include <unordered_set>
#include <vector>

#include "xml/XMLDocument.h"
#include "xml/XMLException.h"
#include "xml/XMLLookupTables.h"
#include "xml/XMLNodeList.h"
#include "xml/XMLTextStream.h"

namespace xml {

#define XML_QUERY_INTERFACE(Class, Base, Intf)                     \
  int32_t Class::QueryInterface(const TGUID& iid, void** object) { \
    return QueryInterfaceOf<Base, Intf>(this, iid, object);        \
  }

XML_QUERY_INTERFACE(TXMLElement, TXMLNode, IXMLElement)
XML_QUERY_INTERFACE(TXMLAttr, TXMLNode, IXMLAttr)
XML_QUERY_INTERFACE(TXMLProcessingInstruction, TXMLNode, IXMLProcessingInstruction)
XML_QUERY_INTERFACE(TXMLCharacterData, TXMLNode, IXMLCharacterData)
XML_QUERY_INTERFACE(TXMLText, TXMLCharacterData, IXMLText)
XML_QUERY_INTERFACE(TXMLCDATASection, TXMLText, IXMLCDATASection)
XML_QUERY_INTERFACE(TXMLDocumentType, TXMLText, IXMLDocumentType)
XML_QUERY_INTERFACE(TXMLComment, TXMLCharacterData, IXMLComment)
XML_QUERY_INTERFACE(TXMLDocumentFragment, TXMLNode, IXMLDocumentFragment)

#undef XML_QUERY_INTERFACE

// --- values --------------------------------------------------------------------------

WideString TXMLElement::GetNodeValue() {
  if (Wrapped()) return Wrapped()->GetNodeValue();
  WideString value;
  TIntf<IXMLNodeList> list = GetChildNodes();
  for (int32_t i = 0; i < list->GetLength(); ++i) {
    TIntf<IXMLNode> child = list->GetItem(i);
    uint8_t type = child->GetNodeType();
    if (type != ELEMENT_NODE && type != COMMENT_NODE) value += child->GetNodeValue();
  }
  return value;
}

void TXMLElement::SetNodeValue(const WideString& value) {
  if (Wrapped()) {
    Wrapped()->SetNodeValue(value);
    return;
  }
  TIntf<IXMLNodeList> list = GetChildNodes();
  if (list->GetLength() > 0) {
    if (!IsTextElement())
      throw EXMLException(NO_MODIFICATION_ALLOWED_ERR, xeWrongNodeType, {NodeTypeName(ELEMENT_NODE)});
    list->GetItem(0)->SetNodeValue(value);
    return;
  }
  AppendChild(NewText(value).Get());
}

WideString TXMLProcessingInstruction::GetNodeValue() { return Wrapped() ? Wrapped()->GetNodeValue() : FData; }

void TXMLProcessingInstruction::SetNodeValue(const WideString& value) {
  if (Wrapped())
    Wrapped()->SetNodeValue(value);
  else
    FData = value;
}

void TXMLCharacterData::StoreReadValue(WideString&& value) {
  if (Wrapped())
    SetNodeValue(value);
  else
    FValue = NormalizeLineBreaks(std::move(value));
}

void TXMLCharacterData::SetNodeValue(const WideString& value) {
  if (Wrapped())
    Wrapped()->SetNodeValue(NormalizeLineBreaks(value));
  else
    FValue = NormalizeLineBreaks(value);
}

WideString TXMLCharacterData::SubstringData(int32_t, int32_t) { RaiseNotImplemented("SubstringData"); }
void TXMLCharacterData::AppendData(const WideString&) { RaiseNotImplemented("AppendData"); }
void TXMLCharacterData::InsertData(int32_t, const WideString&) { RaiseNotImplemented("InsertData"); }
void TXMLCharacterData::DeleteData(int32_t, int32_t) { RaiseNotImplemented("DeleteData"); }
void TXMLCharacterData::ReplaceData(int32_t, int32_t, const WideString&) { RaiseNotImplemented("ReplaceData"); }
TIntf<IXMLText> TXMLText::SplitText(int32_t) { RaiseNotImplemented("SplitText"); }

void TXMLCDATASection::SetNodeValue(const WideString& value) {
  if (value.find(u"]]>") != WideString::npos) throw EXMLException(INVALID_CHARACTER_ERR, xeCDATAEndInContent);
  TXMLText::SetNodeValue(value);
}

// --- writing -------------------------------------------------------------------------

void TXMLElement::WriteNode(TXMLTextStream& stream) {
  stream.WriteLineBreak(false);
  stream.Write(u'<');
  stream.Write(GetNodeName());
  TIntf<IXMLNamedNodeMap> attrs = GetAttributes();
  int32_t count = attrs->GetLength();
  // A name may stand only once in a tag: of attributes with the same name (the lenient
  // reader keeps them all) the first is written. Names compare exactly here, as XML does.
  std::unordered_set<std::u16string_view> seen;
  std::vector<WideString> names;
  if (count > 1) names.reserve(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    TIntf<IXMLNode> a = attrs->GetItem(i);
    if (count > 1) {
      names.push_back(a->GetNodeName());
      bool repeated = false;
      if (count <= 8) {
        for (size_t k = 0; k + 1 < names.size() && !repeated; ++k) repeated = names[k] == names.back();
      } else {
        if (seen.empty()) seen.reserve(static_cast<size_t>(count));
        repeated = !seen.insert(names.back()).second;
      }
      if (repeated) continue;
    }
    if (TXMLNode* n = FromIntf(a.Get()))
      n->WriteNode(stream);
    else
      a->WriteTo(&stream);
  }
  const char16_t* emptyEnd = stream.GetOutputFormat() == FormatIndented ? u" />" : u"/>";
  TIntf<IXMLNodeList> children = GetChildNodes();
  if (children->GetLength() == 0) {
    stream.Write(emptyEnd);
    return;
  }
  bool textElement = IsTextElement();
  if (textElement && children->GetItem(0)->GetText().empty()) {
    stream.Write(emptyEnd);
    return;
  }
  stream.Write(u'>');
  WriteChildren(stream, false);
  if (!textElement) stream.WriteLineBreak(false);
  stream.Write(u"</");
  stream.Write(GetNodeName());
  stream.Write(u'>');
}

void TXMLAttr::WriteNode(TXMLTextStream& stream) {
  stream.Write(u' ');
  stream.Write(GetNodeName());
  stream.Write(u"=\"");
  stream.WriteEscaped(EscapeExact(GetNodeValue(), true));
  stream.Write(u'"');
}

void TXMLText::WriteNode(TXMLTextStream& stream) { stream.WriteEscaped(EscapeExact(GetNodeValue(), false)); }

void TXMLCDATASection::WriteNode(TXMLTextStream& stream) {
  stream.WriteLineBreak(true);
  stream.Write(u"<![CDATA[");
  stream.Write(GetNodeValue());
  stream.Write(u"]]>");
}

void TXMLComment::WriteNode(TXMLTextStream& stream) {
  stream.WriteLineBreak(true);
  stream.Write(u"<!--");
  // A comment cannot hold "--" or end in "-" (a value set so, or cut off by the end of
  // the input): a space goes between, so that what is written stays well-formed.
  WideString value = ExpandLineBreaks(GetNodeValue());
  for (size_t at = value.find(u"--"); at != WideString::npos; at = value.find(u"--", at + 2))
    value.insert(at + 1, 1, u' ');
  if (!value.empty() && value.back() == u'-') value.push_back(u' ');
  stream.Write(value);
  stream.Write(u"-->");
}

void TXMLProcessingInstruction::WriteNode(TXMLTextStream& stream) {
  stream.WriteLineBreak(false);
  stream.Write(u"<?");
  stream.Write(GetNodeName());
  stream.Write(u' ');
  stream.Write(GetNodeValue());
  stream.Write(u"?>");
}

void TXMLDocumentType::WriteNode(TXMLTextStream& stream) {
  stream.WriteLineBreak(false);
  stream.Write(u"<!DOCTYPE ");
  stream.Write(GetNodeValue());
  stream.Write(u'>');
}

}  // namespace xml
