// The COM-style interfaces of the XML node model. Every interface starts with
// QueryInterface, AddRef and Release; the operations follow in their fixed order.
// Objects are reference counted: TIntf<T> holds one counted reference, and a raw pointer
// handed out by an operation stays valid only while someone holds a TIntf to it. The
// objects of the model count and answer through one base, TXMLInterfacedObject.
// Interfaces derive virtually, so one object has exactly one IXMLNode (and IInterface)
// part, and two IXMLNode pointers to the same node always compare equal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>
#include <vector>

#include "base/Stream.h"
#include "base/Strings.h"

namespace xml {

using base::WideString;

struct TGUID {
  uint32_t D1;
  uint16_t D2, D3;
  uint8_t D4[8];
  friend bool operator==(const TGUID&, const TGUID&) = default;
};

constexpr int32_t S_XML_OK = 0;
constexpr int32_t E_XML_NOINTERFACE = static_cast<int32_t>(0x80004002u);

struct IInterface {
  virtual int32_t QueryInterface(const TGUID& iid, void** object) = 0;
  virtual int32_t AddRef() = 0;
  virtual int32_t Release() = 0;

 protected:
  ~IInterface() = default;
};

// One counted reference to an interface.
template <class T>
class TIntf {
 public:
  TIntf() = default;
  TIntf(std::nullptr_t) {}
  TIntf(T* p) : FPtr(p) {
    if (FPtr) FPtr->AddRef();
  }
  TIntf(const TIntf& o) : TIntf(o.FPtr) {}
  TIntf(TIntf&& o) noexcept : FPtr(std::exchange(o.FPtr, nullptr)) {}
  template <class U>
  requires std::is_convertible_v<U*, T*> TIntf(const TIntf<U>& o) : TIntf(static_cast<T*>(o.Get())) {}
  ~TIntf() {
    if (FPtr) FPtr->Release();
  }
  TIntf& operator=(TIntf o) noexcept {
    std::swap(FPtr, o.FPtr);
    return *this;
  }
  T* operator->() const { return FPtr; }
  T& operator*() const { return *FPtr; }
  T* Get() const { return FPtr; }
  explicit operator bool() const { return FPtr != nullptr; }
  // Hands the reference over to the caller, who releases it; none is left.
  T* Detach() { return std::exchange(FPtr, nullptr); }
  // Takes over a reference that was already counted (QueryInterface's result).
  static TIntf Adopt(T* p) {
    TIntf r;
    r.FPtr = p;
    return r;
  }

 private:
  T* FPtr = nullptr;
};

template <class A, class B>
bool operator==(const TIntf<A>& a, const TIntf<B>& b) {
  return a.Get() == b.Get();
}
template <class A>
bool operator==(const TIntf<A>& a, std::nullptr_t) {
  return a.Get() == nullptr;
}

// The interface T of an object, or none when it does not support it.
template <class T, class U>
TIntf<T> Supports(U* object) {
  void* p = nullptr;
  if (!object || object->QueryInterface(T::IID, &p) != S_XML_OK) return {};
  return TIntf<T>::Adopt(static_cast<T*>(p));
}
template <class T, class U>
TIntf<T> Supports(const TIntf<U>& object) {
  return Supports<T>(object.Get());
}

// Node types (W3C DOM numbering).
enum : uint8_t {
  ELEMENT_NODE = 1,
  ATTRIBUTE_NODE = 2,
  TEXT_NODE = 3,
  CDATA_SECTION_NODE = 4,
  ENTITY_REFERENCE_NODE = 5,
  ENTITY_NODE = 6,
  PROCESSING_INSTRUCTION_NODE = 7,
  COMMENT_NODE = 8,
  DOCUMENT_NODE = 9,
  DOCUMENT_TYPE_NODE = 10,
  DOCUMENT_FRAGMENT_NODE = 11,
  NOTATION_NODE = 12,
};

// Output formats of the writer.
enum : uint8_t { FormatCompact = 0, FormatLineBreaks = 1, FormatIndented = 2 };

struct IXMLNode;
struct IXMLNodeList;
struct IXMLNamedNodeMap;
struct IXMLAttr;
struct IXMLElement;
struct IXMLDocument;
struct IXMLDocumentType;
struct IXMLParseError;
struct IXMLTextStream;
class TXMLNode;
class TXMLDocument;
struct TXMLNodeClass;

struct IXMLTextStream : virtual IInterface {
  static constexpr TGUID IID = {0xF3ECA11F, 0xEA18, 0x491C, {0xB5, 0x9A, 0x42, 0x03, 0xD5, 0xDC, 0x8C, 0xCA}};
  virtual uint16_t GetStreamCodePage() = 0;
  virtual void SetStreamCodePage(uint16_t codePage) = 0;
  virtual uint8_t GetOutputFormat() = 0;
  virtual void SetOutputFormat(uint8_t format) = 0;
  virtual void IncIndent() = 0;
  virtual void DecIndent() = 0;
  virtual void WriteLineBreak(bool force) = 0;
  virtual void UnreadChar() = 0;
  virtual bool NextChar(char16_t& ch) = 0;
  virtual bool ReadString(int32_t count, WideString& text) = 0;
  virtual void AppendToken(char16_t ch) = 0;
  virtual WideString TakeToken() = 0;
  virtual int32_t TokenLength() = 0;
  virtual void ClearToken() = 0;
  virtual void WriteString(const WideString& text) = 0;
};

struct IXMLCustomList;
struct IXMLEnumerator : virtual IInterface {
  virtual TIntf<IXMLNode> GetCurrent() = 0;
  virtual bool MoveNext() = 0;
};

struct IXMLCustomList : virtual IInterface {
  static constexpr TGUID IID = {0x6520A0BC, 0x8738, 0x4E40, {0x8C, 0xDB, 0x33, 0x71, 0x3D, 0xED, 0x32, 0xED}};
  virtual int32_t GetLength() = 0;
  virtual TIntf<IXMLNode> GetItem(int32_t index) = 0;
  virtual TIntf<IXMLNode> GetNamedItemOrFail(const WideString& name) = 0;
  virtual int32_t Add(IXMLNode* node) = 0;
  virtual int32_t IndexOf(IXMLNode* node) = 0;
  virtual void Insert(int32_t index, IXMLNode* node) = 0;
  virtual int32_t Remove(IXMLNode* node) = 0;
  virtual void Delete(int32_t index) = 0;
  virtual void Clear() = 0;
  virtual TIntf<IXMLNode> FindNode(const WideString& name) = 0;
  virtual int32_t IndexOfNodeName(const WideString& name) = 0;
  virtual int32_t RemoveByName(const WideString& name) = 0;
  virtual TIntf<IXMLEnumerator> GetEnumerator() = 0;
};

struct IXMLNodeList : virtual IXMLCustomList {
  static constexpr TGUID IID = {0x66AF674E, 0x4697, 0x4356, {0xAC, 0xCC, 0x42, 0x58, 0xDA, 0x13, 0x8E, 0xA1}};
  virtual TIntf<IXMLNode> AddNode(IXMLNode* node) = 0;
  virtual void Rewind() = 0;
  virtual TIntf<IXMLNode> TakeNext() = 0;
};

struct IXMLNamedNodeMap : virtual IXMLCustomList {
  static constexpr TGUID IID = {0x87964B1D, 0xF6CC, 0x46D2, {0xA6, 0x02, 0x67, 0xE1, 0x98, 0xC8, 0xBF, 0xF5}};
  virtual TIntf<IXMLNode> GetNamedItem(const WideString& name) = 0;
  virtual void SetNamedItem(IXMLNode* node) = 0;
  virtual TIntf<IXMLNode> RemoveNamedItem(const WideString& name) = 0;
};

struct IXMLNode : virtual IInterface {
  static constexpr TGUID IID = {0xF4D7D3DE, 0xC6EC, 0x4191, {0x8E, 0x35, 0xF6, 0x52, 0xC2, 0x70, 0x5E, 0x81}};
  virtual TIntf<IXMLNamedNodeMap> GetAttributes() = 0;
  virtual TIntf<IXMLNodeList> GetChildNodes() = 0;
  virtual TIntf<IXMLNode> GetFirstChild() = 0;
  virtual TIntf<IXMLNode> GetLastChild() = 0;
  virtual TIntf<IXMLNode> GetNextSibling() = 0;
  virtual WideString GetNodeName() = 0;
  virtual uint8_t GetNodeType() = 0;
  virtual WideString GetNodeValue() = 0;
  virtual TIntf<IXMLDocument> GetOwnerDocument() = 0;
  virtual TIntf<IXMLNode> GetParentNode() = 0;
  virtual TIntf<IXMLNode> GetPreviousSibling() = 0;
  virtual void SetNodeValue(const WideString& value) = 0;
  virtual void SetParentNode(IXMLNode* parent) = 0;
  virtual TIntf<IXMLNode> InsertBefore(IXMLNode* newChild, IXMLNode* refChild) = 0;
  virtual TIntf<IXMLNode> ReplaceChild(IXMLNode* newChild, IXMLNode* oldChild) = 0;
  virtual TIntf<IXMLNode> RemoveChild(IXMLNode* child) = 0;
  virtual TIntf<IXMLNode> AppendChild(IXMLNode* newChild) = 0;
  virtual bool HasChildNodes() = 0;
  virtual bool HasOnlyText() = 0;
  virtual TIntf<IXMLNode> CloneNode(bool deep) = 0;
  virtual TIntf<IXMLNode> CloneNodeInto(IXMLDocument* target, bool deep) = 0;
  virtual WideString GetAttribute(const WideString& name) = 0;
  virtual void SetAttribute(const WideString& name, const WideString& value) = 0;
  virtual void RemoveAttribute(const WideString& name) = 0;
  virtual TIntf<IXMLAttr> GetAttributeNode(const WideString& name) = 0;
  virtual void SetAttributeNode(IXMLAttr* attr) = 0;
  virtual void RemoveAttributeNode(IXMLAttr* attr) = 0;
  virtual TIntf<IXMLNodeList> GetElementsByTagName(const WideString& name) = 0;
  virtual WideString GetText() = 0;
  virtual void SetText(const WideString& text) = 0;
  virtual WideString GetMarkup() = 0;
  virtual void WriteTo(IXMLTextStream* stream) = 0;
  virtual bool IsEmpty() = 0;
  virtual TIntf<IXMLNode> GetWrappedNode() = 0;
  virtual TIntf<IXMLNode> SelectFirstNode(const WideString& expression) = 0;
  virtual TIntf<IXMLNodeList> SelectNodeList(const WideString& expression) = 0;
  virtual WideString ReadChildValue(const WideString& name) = 0;
  virtual void WriteChildValue(const WideString& name, const WideString& value) = 0;
  virtual TIntf<IXMLElement> AppendElement(const WideString& tagName) = 0;
  virtual TIntf<IXMLElement> AppendElement2(const WideString& tagName) = 0;
  virtual TIntf<IXMLNode> GetOrAddChild(const WideString& tagName) = 0;
  virtual TIntf<IXMLAttr> GetOrAddAttribute(const WideString& name, const WideString& value) = 0;
};

struct IXMLNodeAccess : virtual IXMLNode {
  static constexpr TGUID IID = {0xCFE0CB93, 0xAA1A, 0x45AF, {0x9C, 0x0F, 0x43, 0x39, 0x61, 0x20, 0x85, 0x9A}};
  virtual void ResetDocument() = 0;
  virtual void ResetParent() = 0;
  virtual void RegisterChildNode(const WideString& tagName, const TXMLNodeClass* nodeClass) = 0;
  virtual void RegisterChildNodes(const std::vector<WideString>& tagNames,
                                  const std::vector<const TXMLNodeClass*>& nodeClasses) = 0;
  virtual TIntf<IXMLNode> MakeCollectionNode(const TXMLNodeClass* nodeClass, const TGUID& itemIID,
                                             const WideString& itemTag) = 0;
  virtual void SetUserValue(int32_t value) = 0;
};

struct IXMLElement : virtual IXMLNode {
  static constexpr TGUID IID = {0xC858C4E1, 0xFB3F, 0x4C98, {0x8B, 0xDE, 0x67, 0x1E, 0x06, 0x0D, 0x17, 0xB9}};
  virtual void SetTagName(const WideString& name) = 0;
};

struct IXMLAttr : virtual IXMLNode {
  static constexpr TGUID IID = {0x10796B8E, 0xFBAC, 0x4ADF, {0xBD, 0xD8, 0xE4, 0xBC, 0xC5, 0xA5, 0x19, 0x6F}};
  virtual WideString GetName() = 0;
  virtual bool GetSpecified() = 0;
  virtual WideString GetValue() = 0;
  virtual void SetValue(const WideString& value) = 0;
};

struct IXMLProcessingInstruction : virtual IXMLNode {
  static constexpr TGUID IID = {0xAF449E32, 0x2615, 0x4EF7, {0x82, 0xB6, 0xB2, 0xE9, 0xDC, 0xCE, 0x9F, 0xC3}};
  virtual WideString GetData() = 0;
  virtual WideString GetTarget() = 0;
};

struct IXMLCharacterData : virtual IXMLNode {
  static constexpr TGUID IID = {0x613A6538, 0xA0DC, 0x49BC, {0xAF, 0xA6, 0xD8, 0xE6, 0x11, 0x17, 0x6B, 0x86}};
  virtual WideString GetData() = 0;
  virtual int32_t GetLength() = 0;
  virtual void SetData(const WideString& data) = 0;
  virtual WideString SubstringData(int32_t offset, int32_t count) = 0;
  virtual void AppendData(const WideString& data) = 0;
  virtual void InsertData(int32_t offset, const WideString& data) = 0;
  virtual void DeleteData(int32_t offset, int32_t count) = 0;
  virtual void ReplaceData(int32_t offset, int32_t count, const WideString& data) = 0;
};

struct IXMLText : virtual IXMLCharacterData {
  static constexpr TGUID IID = {0x0EC46ED2, 0xAB58, 0x4DC9, {0xB9, 0x64, 0x96, 0x56, 0x15, 0x24, 0x85, 0x64}};
  virtual TIntf<IXMLText> SplitText(int32_t offset) = 0;
};

struct IXMLComment : virtual IXMLCharacterData {
  static constexpr TGUID IID = {0xB094A54C, 0x039F, 0x4ED7, {0x93, 0x31, 0xF7, 0xCF, 0x5A, 0x71, 0x1E, 0xDA}};
};

struct IXMLCDATASection : virtual IXMLText {
  static constexpr TGUID IID = {0xCF58778D, 0x775D, 0x4299, {0x88, 0x4C, 0xF1, 0xDC, 0x61, 0x92, 0x5D, 0x54}};
};

struct IXMLDocumentType : virtual IXMLText {
  static constexpr TGUID IID = {0xE956F945, 0xE8F6, 0x4589, {0xBF, 0x8D, 0xD4, 0xDC, 0x23, 0xDE, 0x10, 0x89}};
};

struct IXMLDocumentFragment : virtual IXMLNode {
  static constexpr TGUID IID = {0xA21A11BF, 0xE489, 0x4416, {0x96, 0x07, 0x17, 0x2E, 0xFA, 0x2C, 0xFE, 0x45}};
};

struct IXMLParseError : virtual IInterface {
  static constexpr TGUID IID = {0x546E9AE4, 0x4E1E, 0x4014, {0xB0, 0xB8, 0x4F, 0x02, 0x4C, 0x79, 0x75, 0x44}};
  virtual int32_t GetCode() = 0;
  virtual int32_t GetFileOffset() = 0;
  virtual int32_t GetLineNumber() = 0;
  virtual int32_t GetColumn() = 0;
  virtual std::string GetReasonText() = 0;
  virtual WideString GetSourceLine() = 0;
  virtual std::string GetFileName() = 0;
};

struct IXMLDocument : virtual IXMLNode {
  static constexpr TGUID IID = {0x59A76970, 0x451C, 0x4343, {0x94, 0x7C, 0x24, 0x2E, 0xFF, 0x17, 0x41, 0x3C}};
  virtual TIntf<IXMLDocumentType> GetDocType() = 0;
  virtual TIntf<IXMLElement> GetDocumentElement() = 0;
  virtual void SetDocumentElement(IXMLElement* element) = 0;
  virtual bool GetKeepWhiteSpace() = 0;
  virtual void SetKeepWhiteSpace(bool keep) = 0;
  virtual TIntf<IXMLAttr> CreateAttribute(const WideString& name) = 0;
  virtual TIntf<IXMLCDATASection> CreateCDATASection(const WideString& data) = 0;
  virtual TIntf<IXMLComment> CreateComment(const WideString& data) = 0;
  virtual TIntf<IXMLDocumentType> CreateDocType(const WideString& value) = 0;
  virtual TIntf<IXMLDocumentFragment> CreateDocumentFragment() = 0;
  virtual TIntf<IXMLElement> CreateElement(const WideString& tagName) = 0;
  virtual TIntf<IXMLNode> CreateEntityReference(const WideString& name) = 0;
  virtual TIntf<IXMLProcessingInstruction> CreateProcessingInstruction(const WideString& target,
                                                                       const WideString& data) = 0;
  virtual TIntf<IXMLText> CreateTextNode(const WideString& data) = 0;
  virtual bool LoadFromFile(const WideString& fileName) = 0;
  virtual bool Load(base::TStream* stream, uint16_t codePage) = 0;
  virtual void SaveToFile(const WideString& fileName, uint8_t outputFormat, uint16_t codePage) = 0;
  virtual void Save(base::TStream* stream, uint8_t outputFormat, uint16_t codePage) = 0;
  virtual bool LoadFromText(const WideString& text) = 0;
  virtual TIntf<IXMLElement> BindDocumentElement(const WideString& tagName, const TXMLNodeClass* nodeClass) = 0;
  virtual TIntf<IXMLParseError> GetParseError() = 0;
  virtual WideString GetVersion() = 0;
  virtual WideString GetEncoding() = 0;
  virtual WideString GetStandalone() = 0;
  virtual void SetVersion(const WideString& value) = 0;
  virtual void SetEncoding(const WideString& value) = 0;
  virtual void SetStandalone(const WideString& value) = 0;
};

}  // namespace xml
