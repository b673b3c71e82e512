// TXMLDocument: the root of a node tree, the factory of its nodes (through seven
// replaceable node classes), the loader (the parser's content reader) and the writer's
// entry point, and the XML declaration's pseudo-attributes. TXMLParseError records where
// and why the last load stopped.
//
// A document is used through IXMLDocument (counted) or as an object its creator deletes.
// Loading is lenient: the end of the input ends the document wherever it comes, and only
// the local syntax of each construct is checked. Elements nest at most kMaxNestingDepth
// deep.
#pragma once

#include <memory>
#include <string>

#include "xml/XMLNodes.h"

namespace xml {

class TXMLParseError final : public TXMLInterfacedObject<IXMLParseError> {
 public:
  int32_t GetCode() override { return FCode; }
  // Characters read before the error (the input's UTF-16 code units).
  int32_t GetFileOffset() override { return FFilePos; }
  int32_t GetLineNumber() override { return FLine; }
  // Characters since the start of the line, the offending one included.
  int32_t GetColumn() override { return FLinePos; }
  // The message template of the code, unformatted.
  std::string GetReasonText() override { return FReason; }
  WideString GetSourceLine() override { return FSrcText; }
  std::string GetFileName() override { return FURL; }
  // The formatted message of the exception that ended the load.
  const std::string& Message() const { return FMessage; }

  void SetCode(int32_t v) { FCode = v; }
  void SetFilePos(int32_t v) { FFilePos = v; }
  void SetLine(int32_t v) { FLine = v; }
  void SetLinePos(int32_t v) { FLinePos = v; }
  void SetReason(std::string v) { FReason = std::move(v); }
  void SetSrcText(WideString v) { FSrcText = std::move(v); }
  void SetURL(std::string v) { FURL = std::move(v); }
  void SetMessage(std::string v) { FMessage = std::move(v); }

 private:
  int32_t FCode = 0;
  int32_t FFilePos = 0;
  int32_t FLine = 0;
  int32_t FLinePos = 0;
  std::string FReason;
  WideString FSrcText;
  std::string FURL;
  std::string FMessage;
};

class TXMLDocument : public TXMLNode, public virtual IXMLDocument {
 public:
  // A creator-owned document is deleted by its creator, never by its reference count
  // (which may go up and down while it is used, as with any node).
  explicit TXMLDocument(bool creatorOwned = false);
  ~TXMLDocument() override;
  int32_t QueryInterface(const TGUID& iid, void** object) override;
  // A creator-owned document stays when its count reaches 0.
  int32_t Release() override;

  TIntf<IXMLDocument> GetOwnerDocument() override { return {}; }
  WideString GetText() override;
  void SetNodeValue(const WideString&) override {}
  void WriteNode(TXMLTextStream& stream) override;
  // The content reader: text, and whatever construct follows each "<", under parent.
  void ReadNode(TXMLNode* parent, TXMLTextStream& stream) override;

  TIntf<IXMLDocumentType> GetDocType() override { return FDocType; }
  TIntf<IXMLElement> GetDocumentElement() override;
  void SetDocumentElement(IXMLElement* element) override;
  bool GetKeepWhiteSpace() override { return FKeepWhiteSpace; }
  // Strict loading: XML 1.0 well-formedness for documents that need nothing from outside
  // (see XMLStrictReader.h); a load that is not well-formed fails with a parse error.
  // Off by default: the lenient reader takes what it can.
  bool GetStrict() const { return FStrict; }
  void SetStrict(bool strict) { FStrict = strict; }
  void SetKeepWhiteSpace(bool keep) override { FKeepWhiteSpace = keep; }
  TIntf<IXMLAttr> CreateAttribute(const WideString& name) override;
  TIntf<IXMLCDATASection> CreateCDATASection(const WideString& data) override;
  TIntf<IXMLComment> CreateComment(const WideString& data) override;
  TIntf<IXMLDocumentType> CreateDocType(const WideString& value) override;
  TIntf<IXMLDocumentFragment> CreateDocumentFragment() override;
  TIntf<IXMLElement> CreateElement(const WideString& tagName) override;
  TIntf<IXMLNode> CreateEntityReference(const WideString& name) override;
  TIntf<IXMLProcessingInstruction> CreateProcessingInstruction(const WideString& target,
                                                               const WideString& data) override;
  TIntf<IXMLText> CreateTextNode(const WideString& data) override;
  // Reads the whole file (deny-write) and loads it as UTF-8 unless a byte order mark or
  // the declaration says otherwise. A file that cannot be opened raises EFOpenError.
  bool LoadFromFile(const WideString& fileName) override;
  // False after a parse error (see GetParseError); the nodes read before it stay.
  bool Load(base::TStream* stream, uint16_t codePage) override;
  // Writes the whole document to memory first, so that a document that cannot be
  // written leaves an existing file as it was.
  void SaveToFile(const WideString& fileName, uint8_t outputFormat, uint16_t codePage) override;
  // Uses the declaration's encoding when it names a known one the reader recognises
  // (DetectDeclaredCodePage), else codePage.
  void Save(base::TStream* stream, uint8_t outputFormat, uint16_t codePage) override;
  bool LoadFromText(const WideString& text) override;
  TIntf<IXMLElement> BindDocumentElement(const WideString& tagName, const TXMLNodeClass* nodeClass) override;
  TIntf<IXMLParseError> GetParseError() override { return FParseError; }
  WideString GetVersion() override;
  WideString GetEncoding() override;
  WideString GetStandalone() override;
  void SetVersion(const WideString& value) override;
  void SetEncoding(const WideString& value) override;
  void SetStandalone(const WideString& value) override;

  TXMLParseError& ParseError() { return *FParseError; }
  // The factory's node classes; a descendant may replace them.
  const TXMLNodeClass* FAttrClass;
  const TXMLNodeClass* FCDATAClass;
  const TXMLNodeClass* FCommentClass;
  const TXMLNodeClass* FDocTypeClass;
  const TXMLNodeClass* FElementClass;
  const TXMLNodeClass* FPIClass;
  const TXMLNodeClass* FTextClass;

  // Internal: the reader's factory (no counted reference yet) and nesting bookkeeping.
  TXMLNode* NewNode(const TXMLNodeClass* nodeClass, uint8_t expectedType);
  void EnterElement();
  void LeaveElement() { --FDepth; }
  // The link the nodes made with this document as owner share.
  TXMLOwnerLink* OwnerLink() const { return FLink; }

 private:
  TXMLProcessingInstruction* Declaration();
  bool LoadStrict(base::TStream* stream, uint16_t codePage);
  void SetDeclarationValue(int which, const WideString& value);

  TIntf<IXMLDocumentType> FDocType;
  TIntf<TXMLParseError> FParseError;
  bool FKeepWhiteSpace = true;
  bool FStrict = false;
  std::string FLoadFileName;
  int32_t FDepth = 0;
  bool FCreatorOwned;
  TXMLOwnerLink* FLink;
  // Where loads take their nodes from; kept between loads, so that a block begun by one
  // load is filled by the next. FLoadArena is set only while a load runs.
  std::unique_ptr<TXMLNodeArena> FArena;
  TXMLNodeArena* FLoadArena = nullptr;
  friend TXMLNodeArena* LoadArenaOf(TXMLDocument* owner);
  friend class strictreader::TXMLStrictReader;
};

}  // namespace xml
