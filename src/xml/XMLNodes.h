// The node classes of the XML document model: elements, attributes, processing
// instructions, character data (text, CDATA sections, document types, comments) and
// document fragments. Each reads its own syntax (ReadNode) and writes itself (WriteNode).
#pragma once

#include "xml/XMLNode.h"

namespace xml {

class TXMLElement : public TXMLNode, public virtual IXMLElement {
 public:
  explicit TXMLElement(TXMLDocument* owner) : TXMLNode(owner, ELEMENT_NODE) {}
  int32_t QueryInterface(const TGUID& iid, void** object) override;
  void SetTagName(const WideString& name) override { FName = name; }
  WideString GetNodeValue() override;
  void SetNodeValue(const WideString& value) override;
  void WriteNode(TXMLTextStream& stream) override;
  void ReadNode(TXMLNode* parent, TXMLTextStream& stream) override;

 private:
  // Reads the start tag's attributes that are written plainly, straight from the buffer.
  void ReadPlainAttributes(TXMLTextStream& stream);
};

class TXMLAttr : public TXMLNode, public virtual IXMLAttr {
 public:
  explicit TXMLAttr(TXMLDocument* owner) : TXMLNode(owner, ATTRIBUTE_NODE) {}
  int32_t QueryInterface(const TGUID& iid, void** object) override;
  WideString GetName() override { return GetNodeName(); }
  // Every attribute of this model was written in the document or set by a caller.
  bool GetSpecified() override { return true; }
  WideString GetValue() override { return GetNodeValue(); }
  void SetValue(const WideString& value) override { SetNodeValue(value); }
  WideString GetText() override { return GetNodeValue(); }
  void WriteNode(TXMLTextStream& stream) override;
  void ReadNode(TXMLNode* parent, TXMLTextStream& stream) override;
};

class TXMLProcessingInstruction : public TXMLNode, public virtual IXMLProcessingInstruction {
 public:
  explicit TXMLProcessingInstruction(TXMLDocument* owner) : TXMLNode(owner, PROCESSING_INSTRUCTION_NODE) {}
  int32_t QueryInterface(const TGUID& iid, void** object) override;
  WideString GetData() override { return FData; }
  WideString GetTarget() override { return GetNodeName(); }
  WideString GetNodeValue() override;
  void SetNodeValue(const WideString& value) override;
  void WriteNode(TXMLTextStream& stream) override;
  void ReadNode(TXMLNode* parent, TXMLTextStream& stream) override;

 private:
  WideString FData;
};

class TXMLCharacterData : public TXMLNode, public virtual IXMLCharacterData {
 public:
  TXMLCharacterData(TXMLDocument* owner, uint8_t nodeType) : TXMLNode(owner, nodeType) {}
  int32_t QueryInterface(const TGUID& iid, void** object) override;
  WideString GetData() override { return GetNodeValue(); }
  int32_t GetLength() override { return static_cast<int32_t>(GetNodeValue().size()); }
  void SetData(const WideString& data) override { SetNodeValue(data); }
  WideString SubstringData(int32_t offset, int32_t count) override;
  void AppendData(const WideString& data) override;
  void InsertData(int32_t offset, const WideString& data) override;
  void DeleteData(int32_t offset, int32_t count) override;
  void ReplaceData(int32_t offset, int32_t count, const WideString& data) override;
  // Values are stored with line breaks normalised to LF.
  void SetNodeValue(const WideString& value) override;

 protected:
  // How the reader stores the value it has read: as SetNodeValue, but taking the string
  // over instead of copying it. A class that checks values in SetNodeValue overrides
  // this too.
  virtual void StoreReadValue(WideString&& value);
};

class TXMLText : public TXMLCharacterData, public virtual IXMLText {
 public:
  explicit TXMLText(TXMLDocument* owner, uint8_t nodeType = TEXT_NODE) : TXMLCharacterData(owner, nodeType) {
    if (nodeType == TEXT_NODE) FName = u"#text";
  }
  int32_t QueryInterface(const TGUID& iid, void** object) override;
  TIntf<IXMLText> SplitText(int32_t offset) override;
  void WriteNode(TXMLTextStream& stream) override;
  void ReadNode(TXMLNode* parent, TXMLTextStream& stream) override;
};

class TXMLCDATASection : public TXMLText, public virtual IXMLCDATASection {
 public:
  explicit TXMLCDATASection(TXMLDocument* owner) : TXMLText(owner, CDATA_SECTION_NODE) { FName = u"#cdata-section"; }
  int32_t QueryInterface(const TGUID& iid, void** object) override;
  // A value holding "]]>" cannot be written back: xeCDATAEndInContent, INVALID_CHARACTER_ERR.
  void SetNodeValue(const WideString& value) override;
  void WriteNode(TXMLTextStream& stream) override;
  void ReadNode(TXMLNode* parent, TXMLTextStream& stream) override;

 protected:
  void StoreReadValue(WideString&& value) override { SetNodeValue(value); }
};

class TXMLDocumentType : public TXMLText, public virtual IXMLDocumentType {
 public:
  explicit TXMLDocumentType(TXMLDocument* owner) : TXMLText(owner, DOCUMENT_TYPE_NODE) { FName = u"#doctype"; }
  int32_t QueryInterface(const TGUID& iid, void** object) override;
  void WriteNode(TXMLTextStream& stream) override;
  void ReadNode(TXMLNode* parent, TXMLTextStream& stream) override;
};

class TXMLComment : public TXMLCharacterData, public virtual IXMLComment {
 public:
  explicit TXMLComment(TXMLDocument* owner) : TXMLCharacterData(owner, COMMENT_NODE) { FName = u"#comment"; }
  int32_t QueryInterface(const TGUID& iid, void** object) override;
  void WriteNode(TXMLTextStream& stream) override;
  void ReadNode(TXMLNode* parent, TXMLTextStream& stream) override;
};

class TXMLDocumentFragment : public TXMLNode, public virtual IXMLDocumentFragment {
 public:
  explicit TXMLDocumentFragment(TXMLDocument* owner) : TXMLNode(owner, DOCUMENT_FRAGMENT_NODE) {
    FName = u"#document-fragment";
  }
  int32_t QueryInterface(const TGUID& iid, void** object) override;
  void ReadNode(TXMLNode* parent, TXMLTextStream& stream) override;
};

// The code page an "xml" instruction's encoding= names, when it names a known one.
bool DetectDeclaredCodePage(IXMLProcessingInstruction* pi, uint16_t& codePage);
// The name an "xml" instruction's encoding= gives in quotes, known or not.
bool DeclaredEncodingName(IXMLProcessingInstruction* pi, WideString& name);

}  // namespace xml
