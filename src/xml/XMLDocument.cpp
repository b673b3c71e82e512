#include "xml/XMLDocument.h"

#include <algorithm>
#include <cstring>

#include "base/Format.h"
#include "text/WideFileStream.h"
#include "xml/XMLException.h"
#include "xml/XMLLookupTables.h"
#include "xml/XMLNodeList.h"
#include "xml/XMLStrictReader.h"
#include "xml/XMLTextStream.h"

namespace xml {

TXMLDocument::TXMLDocument(bool creatorOwned)
    : TXMLNode(nullptr, DOCUMENT_NODE),
      FAttrClass(NodeClassOf<TXMLAttr>("TXMLAttr")),
      FCDATAClass(NodeClassOf<TXMLCDATASection>("TXMLCDATASection")),
      FCommentClass(NodeClassOf<TXMLComment>("TXMLComment")),
      FDocTypeClass(NodeClassOf<TXMLDocumentType>("TXMLDocumentType")),
      FElementClass(NodeClassOf<TXMLElement>("TXMLElement")),
      FPIClass(NodeClassOf<TXMLProcessingInstruction>("TXMLProcessingInstruction")),
      FTextClass(NodeClassOf<TXMLText>("TXMLText")),
      FParseError(new TXMLParseError),
      FCreatorOwned(creatorOwned),
      FLink(new TXMLOwnerLink{this}) {
  FName = u"#document";
}

TXMLDocument::~TXMLDocument() {
  // Nodes that outlive the document see no owner from here on.
  FLink->Document = nullptr;
  if (--FLink->Refs == 0) delete FLink;
}

int32_t TXMLDocument::QueryInterface(const TGUID& iid, void** object) {
  return QueryInterfaceOf<TXMLNode, IXMLDocument>(this, iid, object);
}

int32_t TXMLDocument::Release() { return FCreatorOwned ? --FRefCount : TXMLNode::Release(); }

TXMLNodeArena* LoadArenaOf(TXMLDocument* owner) { return owner ? owner->FLoadArena : nullptr; }

TXMLNode* TXMLDocument::NewNode(const TXMLNodeClass* nodeClass, uint8_t) { return nodeClass->Create(this); }

void TXMLDocument::EnterElement() {
  if (++FDepth > kMaxNestingDepth) {
    --FDepth;
    throw EXMLException(INVALID_CHARACTER_ERR, xeNone,
                        {base::Format("Elements are nested more than %d levels deep.", kMaxNestingDepth)});
  }
}

WideString TXMLDocument::GetText() { return GetDocumentElement()->GetText(); }

void TXMLDocument::WriteNode(TXMLTextStream& stream) { WriteChildren(stream, true); }

// --- factory -------------------------------------------------------------------------

namespace {

template <class I>
TIntf<I> Made(TXMLNode* node) {
  TIntf<IXMLNode> keep(node);
  TIntf<I> result = Supports<I>(keep);
  if (!result) throw EXMLException(std::string("Node class does not make the requested node type"));
  return result;
}

}  // namespace

TIntf<IXMLAttr> TXMLDocument::CreateAttribute(const WideString& name) {
  TXMLNode* node = FAttrClass->Create(this);
  node->SetName(name);
  return Made<IXMLAttr>(node);
}

TIntf<IXMLCDATASection> TXMLDocument::CreateCDATASection(const WideString& data) {
  TIntf<IXMLCDATASection> node = Made<IXMLCDATASection>(FCDATAClass->Create(this));
  node->SetNodeValue(data);
  return node;
}

TIntf<IXMLComment> TXMLDocument::CreateComment(const WideString& data) {
  TIntf<IXMLComment> node = Made<IXMLComment>(FCommentClass->Create(this));
  node->SetNodeValue(data);
  return node;
}

TIntf<IXMLDocumentType> TXMLDocument::CreateDocType(const WideString& value) {
  TIntf<IXMLDocumentType> node = Made<IXMLDocumentType>(FDocTypeClass->Create(this));
  node->SetNodeValue(value);
  return node;
}

TIntf<IXMLDocumentFragment> TXMLDocument::CreateDocumentFragment() {
  return Made<IXMLDocumentFragment>(new TXMLDocumentFragment(this));
}

TIntf<IXMLElement> TXMLDocument::CreateElement(const WideString& tagName) {
  TXMLNode* node = FElementClass->Create(this);
  node->SetName(tagName);
  return Made<IXMLElement>(node);
}

TIntf<IXMLNode> TXMLDocument::CreateEntityReference(const WideString&) { RaiseNotImplemented("CreateEntityReference"); }

TIntf<IXMLProcessingInstruction> TXMLDocument::CreateProcessingInstruction(const WideString& target,
                                                                           const WideString& data) {
  TXMLNode* node = FPIClass->Create(this);
  node->SetName(target);
  TIntf<IXMLProcessingInstruction> pi = Made<IXMLProcessingInstruction>(node);
  pi->SetNodeValue(data);
  return pi;
}

TIntf<IXMLText> TXMLDocument::CreateTextNode(const WideString& data) {
  TIntf<IXMLText> node = Made<IXMLText>(FTextClass->Create(this));
  node->SetNodeValue(data);
  return node;
}

// --- document element ----------------------------------------------------------------

TIntf<IXMLElement> TXMLDocument::GetDocumentElement() {
  TIntf<IXMLNodeList> list = GetChildNodes();
  for (int32_t i = 0; i < list->GetLength(); ++i)
    if (TIntf<IXMLElement> e = Supports<IXMLElement>(list->GetItem(i))) return e;
  TIntf<IXMLElement> e = CreateElement(WideString());
  AppendChild(e.Get());
  return e;
}

void TXMLDocument::SetDocumentElement(IXMLElement* element) {
  TIntf<IXMLNodeList> list = GetChildNodes();
  for (int32_t i = 0; i < list->GetLength(); ++i)
    if (list->GetItem(i)->GetNodeType() == ELEMENT_NODE) {
      ReplaceChild(element, list->GetItem(i).Get());
      return;
    }
  AppendChild(element);
}

TIntf<IXMLElement> TXMLDocument::BindDocumentElement(const WideString& tagName, const TXMLNodeClass* nodeClass) {
  RegisterChildNode(tagName, nodeClass);
  TIntf<IXMLNodeList> list = GetChildNodes();
  for (int32_t i = 0; i < list->GetLength(); ++i)
    if (TIntf<IXMLElement> e = Supports<IXMLElement>(list->GetItem(i))) return e;
  TIntf<IXMLElement> e = CreateElement(tagName);
  AppendChild(e.Get());
  FChildListStale = true;  // the new element is answered through its bound class too
  TIntf<IXMLNodeList> rebuilt = GetChildNodes();
  return Supports<IXMLElement>(rebuilt->GetItem(rebuilt->GetLength() - 1));
}

// --- declaration ---------------------------------------------------------------------

TXMLProcessingInstruction* TXMLDocument::Declaration() {
  if (ChildCount() == 0) return nullptr;
  auto* pi = dynamic_cast<TXMLProcessingInstruction*>(ChildAt(0));
  return pi && pi->GetNodeName() == u"xml" ? pi : nullptr;
}

WideString TXMLDocument::GetVersion() {
  TXMLProcessingInstruction* d = Declaration();
  return d ? GetPseudoAttribute(u"version", d->GetData(), WideString()) : WideString();
}

WideString TXMLDocument::GetEncoding() {
  TXMLProcessingInstruction* d = Declaration();
  return d ? GetPseudoAttribute(u"encoding", d->GetData(), WideString()) : WideString();
}

WideString TXMLDocument::GetStandalone() {
  TXMLProcessingInstruction* d = Declaration();
  return d ? GetPseudoAttribute(u"standalone", d->GetData(), WideString()) : WideString();
}

void TXMLDocument::SetDeclarationValue(int which, const WideString& value) {
  TXMLProcessingInstruction* d = Declaration();
  WideString values[3] = {u"1.0", WideString(), WideString()};
  if (d) {
    values[0] = GetPseudoAttribute(u"version", d->GetData(), u"1.0");
    values[1] = GetEncoding();
    values[2] = GetStandalone();
  }
  values[which] = value;
  WideString data;
  AppendPseudoAttribute(data, u"version", values[0]);
  AppendPseudoAttribute(data, u"encoding", values[1]);
  AppendPseudoAttribute(data, u"standalone", values[2]);
  TIntf<IXMLProcessingInstruction> pi = CreateProcessingInstruction(u"xml", data);
  if (d)
    ReplaceChild(pi.Get(), d);
  else
    InsertBefore(pi.Get(), GetFirstChild().Get());
}

void TXMLDocument::SetVersion(const WideString& value) { SetDeclarationValue(0, value); }
void TXMLDocument::SetEncoding(const WideString& value) { SetDeclarationValue(1, value); }
void TXMLDocument::SetStandalone(const WideString& value) { SetDeclarationValue(2, value); }

// --- loading and saving --------------------------------------------------------------

bool TXMLDocument::Load(base::TStream* stream, uint16_t codePage) {
  struct TEndLoad {
    std::string& Name;
    TXMLNodeArena*& Arena;
    TXMLNodeArena* Outer;  // of a load this one runs in, if any
    ~TEndLoad() {
      Name.clear();
      Arena = nullptr;
      SetCurrentLoadArena(Outer);
    }
  } endLoad{FLoadFileName, FLoadArena, CurrentLoadArena()};
  Children().Clear();
  if (!FArena) FArena = std::make_unique<TXMLNodeArena>();
  FArena->StartLoad();
  FLoadArena = FArena.get();
  SetCurrentLoadArena(FLoadArena);
  FDocType = nullptr;
  FDepth = 0;
  if (FStrict) return LoadStrict(stream, codePage);
  TIntf<TXMLTextStream> s(new TXMLTextStream(stream, codePage, xmRead));
  try {
    ReadNode(this, *s);
    return true;
  } catch (const EXMLException& e) {
    TXMLParseError& error = *FParseError;
    error.SetCode(e.XMLCode());
    error.SetFilePos(static_cast<int32_t>(s->StreamPosition()));
    error.SetLine(s->GetLine() + 1);
    error.SetLinePos(s->GetColumn());
    error.SetReason(XMLMessageTemplate(e.XMLCode()));
    error.SetMessage(e.Message());
    WideString source = s->CurrentLineText();
    if (source.empty()) source = s->GetPreviousToken();
    if (source.empty() && s->GetPreviousChar()) source = WideString(1, s->GetPreviousChar());
    error.SetSrcText(source);
    error.SetURL(FLoadFileName);
    return false;
  }
}

bool TXMLDocument::LoadStrict(base::TStream* stream, uint16_t codePage) {
  TStrictPosition at;
  try {
    ReadStrict(*this, stream, codePage, at);
    return true;
  } catch (const EXMLException& e) {
    // The place: lines and columns of the decoded text, the offending character counted.
    std::u16string_view text(at.Text ? at.Text : u"", at.Text ? at.Length : 0);
    size_t offset = std::min(at.Offset, text.size());
    size_t lineStart = offset == 0 ? 0 : text.rfind(u'\n', offset - 1);
    lineStart = lineStart == std::u16string_view::npos ? 0 : offset == 0 ? 0 : lineStart + 1;
    size_t through = std::min(offset + 1, text.size());
    int32_t line = 1;
    for (size_t i = 0; i < offset; ++i) line += text[i] == u'\n';
    TXMLParseError& error = *FParseError;
    error.SetCode(e.XMLCode());
    error.SetFilePos(static_cast<int32_t>(through));
    error.SetLine(line);
    error.SetLinePos(static_cast<int32_t>(through - lineStart));
    error.SetReason(XMLMessageTemplate(e.XMLCode()));
    error.SetMessage(e.Message());
    error.SetSrcText(WideString(text.substr(lineStart, through - lineStart)));
    error.SetURL(FLoadFileName);
    return false;
  }
}

bool TXMLDocument::LoadFromText(const WideString& text) {
  base::TMemoryStream memory;
  static const uint8_t kMark[2] = {0xFF, 0xFE};
  memory.WriteBuffer(kMark, 2);
  if (!text.empty()) memory.WriteBuffer(text.data(), static_cast<int32_t>(text.size() * sizeof(char16_t)));
  memory.SetPosition(0);
  return Load(&memory, 1200);
}

bool TXMLDocument::LoadFromFile(const WideString& fileName) {
  base::TMemoryStream memory;
  {
    text::TWideFileStream file(fileName, platform::fmOpenRead | platform::fmShareDenyWrite);
    // Read to the end rather than to the size: a pipe or a device has none.
    uint8_t chunk[65536];
    for (int32_t got; (got = file.Read(chunk, sizeof chunk)) > 0;) memory.WriteBuffer(chunk, got);
  }
  memory.SetPosition(0);
  FLoadFileName = base::WideToAnsi(fileName);  // Load clears it again
  return Load(&memory, 65001);
}

void TXMLDocument::Save(base::TStream* stream, uint8_t outputFormat, uint16_t codePage) {
  // The encoding the reader will take from the declaration, so what is written reads back.
  uint16_t declared = 0;
  if (DetectDeclaredCodePage(Declaration(), declared)) codePage = declared;
  TIntf<TXMLTextStream> s(new TXMLTextStream(stream, codePage, xmWrite));
  s->SetOutputFormat(outputFormat);
  WriteNode(*s);
  s->Flush();
}

void TXMLDocument::SaveToFile(const WideString& fileName, uint8_t outputFormat, uint16_t codePage) {
  base::TMemoryStream memory;
  Save(&memory, outputFormat, codePage);
  text::TWideFileStream file(fileName, text::fmCreateWide);
  file.WriteBuffer(memory.Memory(), static_cast<int32_t>(memory.Size()));
}

}  // namespace xml
