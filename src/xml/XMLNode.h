// TXMLNode: the base of every node of the XML document model, and the node-class
// mechanism behind the document's factory and the wrapping nodes.
//
// Ownership: a child list and an attribute map hold counted references to their nodes;
// a node holds plain pointers to its parent and its owner document. Every path that
// takes a node out of a list, or frees a parent or document, clears those pointers, so
// a node kept by a caller never points at a freed parent or document:
//  - RemoveChild, ReplaceChild and the list operations clear the parent of a node they
//    take out; AppendChild, InsertBefore and ReplaceChild first take a node out of the
//    list it is in, and refuse to make a node a child of itself or of its descendants;
//  - a document and the nodes it made share an owner link, which the document clears
//    when it goes.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "xml/XMLInterfacedObject.h"
#include "xml/XMLNodeArena.h"

namespace xml {

namespace strictreader {
class TXMLStrictReader;
}

class TXMLTextStream;
class TXMLNodeList;
class TXMLNamedNodeMap;

// A node class: how the document's factory and the child-node registry make a node.
struct TXMLNodeClass {
  const char* Name;
  TXMLNode* (*Create)(TXMLDocument* owner);
};

// The arena of a load in progress on owner, or none (nodes then come from the heap).
TXMLNodeArena* LoadArenaOf(TXMLDocument* owner);

// The node class of T (T must be constructible from the owner document).
template <class T>
const TXMLNodeClass* NodeClassOf(const char* name = "") {
  static const TXMLNodeClass nodeClass{
      name, [](TXMLDocument* owner) -> TXMLNode* { return new (LoadArenaOf(owner)) T(owner); }};
  return &nodeClass;
}

// The link between a document and the nodes it made: a node reaches its owner through
// it, and the document clears it when it goes, so that a node that outlives its document
// has none. The document and each node that names it hold one count; the last one frees
// it.
struct TXMLOwnerLink {
  TXMLDocument* Document;
  int32_t Refs = 1;
};

// The attributes of an element as a load read them: names and values kept in one piece
// of the load's arena until someone asks for the element's attributes, when they become
// TXMLAttr nodes like the ones the reader would have made. Most loads only look at some
// attributes of some elements, so a parsed tree mostly holds these instead of attribute
// nodes. After the header come, for each attribute, the lengths of its name and value
// (each one unit below 0x8000, else two units with the first one's top bit set), then
// the name and the value.
struct TXMLReadAttrs {
  uint32_t From;      // units already made into nodes
  uint32_t Units;     // units used
  uint32_t Capacity;  // units of room
  char16_t* Text() { return reinterpret_cast<char16_t*>(this + 1); }
  static size_t SizeFor(size_t capacity) { return sizeof(TXMLReadAttrs) + capacity * sizeof(char16_t); }
  size_t Size() const { return SizeFor(Capacity); }
};

// A piece of text for the readers' batches: plain, so that a batch needs no setting up.
struct TTextPart {
  const char16_t* Data;
  size_t Size;
};

// Parsed nesting is capped so that deep input ends in a parse error instead of running
// out of stack (a 32-bit program has 1 MB); the same bound keeps the recursive tree
// walks (writing, cloning, freeing) safe on every tree the parser builds.
constexpr int32_t kMaxNestingDepth = 512;

class TXMLNode : public TXMLInterfacedObject<IXMLNode, IXMLNodeAccess> {
 public:
  TXMLNode(TXMLDocument* owner, uint8_t nodeType);
  TXMLNode(const TXMLNode&) = delete;
  TXMLNode& operator=(const TXMLNode&) = delete;
  virtual ~TXMLNode();
  XML_NODE_MEMORY_OPERATORS

  // Also answers the node object itself (uncounted), for FromIntf.
  int32_t QueryInterface(const TGUID& iid, void** object) override;

  // IXMLNode
  TIntf<IXMLNamedNodeMap> GetAttributes() override;
  TIntf<IXMLNodeList> GetChildNodes() override;
  TIntf<IXMLNode> GetFirstChild() override;
  TIntf<IXMLNode> GetLastChild() override;
  TIntf<IXMLNode> GetNextSibling() override;
  WideString GetNodeName() override;
  uint8_t GetNodeType() override;
  WideString GetNodeValue() override;
  TIntf<IXMLDocument> GetOwnerDocument() override;
  TIntf<IXMLNode> GetParentNode() override;
  TIntf<IXMLNode> GetPreviousSibling() override;
  void SetNodeValue(const WideString& value) override;
  void SetParentNode(IXMLNode* parent) override;
  TIntf<IXMLNode> InsertBefore(IXMLNode* newChild, IXMLNode* refChild) override;
  TIntf<IXMLNode> ReplaceChild(IXMLNode* newChild, IXMLNode* oldChild) override;
  TIntf<IXMLNode> RemoveChild(IXMLNode* child) override;
  TIntf<IXMLNode> AppendChild(IXMLNode* newChild) override;
  bool HasChildNodes() override;
  bool HasOnlyText() override;
  TIntf<IXMLNode> CloneNode(bool deep) override;
  TIntf<IXMLNode> CloneNodeInto(IXMLDocument* target, bool deep) override;
  WideString GetAttribute(const WideString& name) override;
  void SetAttribute(const WideString& name, const WideString& value) override;
  void RemoveAttribute(const WideString& name) override;
  TIntf<IXMLAttr> GetAttributeNode(const WideString& name) override;
  void SetAttributeNode(IXMLAttr* attr) override;
  void RemoveAttributeNode(IXMLAttr* attr) override;
  TIntf<IXMLNodeList> GetElementsByTagName(const WideString& name) override;
  WideString GetText() override;
  void SetText(const WideString& text) override;
  WideString GetMarkup() override;
  void WriteTo(IXMLTextStream* stream) override;
  bool IsEmpty() override;
  TIntf<IXMLNode> GetWrappedNode() override;
  TIntf<IXMLNode> SelectFirstNode(const WideString& expression) override;
  TIntf<IXMLNodeList> SelectNodeList(const WideString& expression) override;
  WideString ReadChildValue(const WideString& name) override;
  void WriteChildValue(const WideString& name, const WideString& value) override;
  TIntf<IXMLElement> AppendElement(const WideString& tagName) override;
  TIntf<IXMLElement> AppendElement2(const WideString& tagName) override { return AppendElement(tagName); }
  TIntf<IXMLNode> GetOrAddChild(const WideString& tagName) override;
  TIntf<IXMLAttr> GetOrAddAttribute(const WideString& name, const WideString& value) override;

  // IXMLNodeAccess
  void ResetDocument() override;
  void ResetParent() override { FParent = nullptr; }
  void RegisterChildNode(const WideString& tagName, const TXMLNodeClass* nodeClass) override;
  void RegisterChildNodes(const std::vector<WideString>& tagNames,
                          const std::vector<const TXMLNodeClass*>& nodeClasses) override;
  TIntf<IXMLNode> MakeCollectionNode(const TXMLNodeClass* nodeClass, const TGUID& itemIID,
                                     const WideString& itemTag) override;
  void SetUserValue(int32_t value) override { Binding().UserValue = value; }

  // Virtual operations of the node classes.
  virtual void WriteNode(TXMLTextStream& stream);
  // Reads this node's own syntax; the node is already in parent's child list.
  virtual void ReadNode(TXMLNode* parent, TXMLTextStream& stream);
  // Installs a rebuilt child list (wrapping nodes).
  virtual void SetChildNodes(const TIntf<TXMLNodeList>& list);

  // Direct access for the reader, the writer and the document.
  TXMLNode* Parent() const { return FParent; }
  // Sets the parent pointer alone (the caller has put the node into parent's list).
  void LinkParent(TXMLNode* parent) { FParent = parent; }
  TXMLDocument* OwnerDocument() const { return FOwner ? FOwner->Document : nullptr; }
  uint8_t NodeType() const { return FBinding && FBinding->Wrapped ? FBinding->Wrapped->GetNodeType() : FNodeType; }
  // The node this one shows (a wrapping node), or none.
  IXMLNode* Wrapped() const { return FBinding ? FBinding->Wrapped.Get() : nullptr; }
  const WideString& Name() const { return FName; }
  void SetName(WideString name) { FName = std::move(name); }
  const WideString& Value() const { return FValue; }
  TXMLNodeList& Children();
  TXMLNamedNodeMap& Attributes();
  bool HasAttributes() const;
  size_t ChildCount() const;
  TXMLNode* ChildAt(size_t index) const;
  // Wrapping creation: this node shows `wrapped` (its name, type, value, children and
  // attributes) under the given parent.
  void InitWrapping(IXMLNode* wrapped, TXMLNode* parent);
  int32_t UserValue() const { return FBinding ? FBinding->UserValue : 0; }
  TXMLNode* Host() const { return FBinding ? FBinding->Host : nullptr; }
  const TGUID& ItemIID() const { return FBinding ? FBinding->ItemIID : kNoIID; }
  const WideString& ItemTag() const { return FBinding ? FBinding->ItemTag : kNoTag; }

  // The TXMLNode behind an interface, or none for a foreign implementation.
  static TXMLNode* FromIntf(IXMLNode* node);

 protected:
  bool IsTextElement();
  // A text node or attribute from the owner document's factory, or of the standard
  // class when the node has no document.
  TIntf<IXMLNode> NewText(const WideString& value);
  TIntf<IXMLAttr> NewAttr(const WideString& name);
  // Appends without the checks of AppendChild (the reader's newly made nodes).
  void AppendNew(TXMLNode* child);
  // The readers' way to add an attribute to an element they have just made: where the
  // element's document makes standard attribute nodes it is kept in FReadAttrs, else an
  // attribute node is made at once.
  void AddReadAttribute(std::u16string_view name, std::u16string_view value);
  // The same for count attributes at once: parts holds each one's name and value.
  void AddReadAttributes(const TTextPart* parts, size_t count);
  // Makes the attributes still kept as read into attribute nodes.
  void MakeReadAttributes();
  // Takes child out of the list it is in (its parent's children or attributes).
  static void Detach(TXMLNode* child);
  void CheckNewChild(TXMLNode* child);
  void WriteChildren(TXMLTextStream& stream, bool lineBreaks);
  void RebuildChildList();
  virtual TXMLNode* MakeCopy(TXMLDocument* target);

  friend class TXMLDocument;
  friend class strictreader::TXMLStrictReader;
  friend class TXMLCustomList;
  friend class TXMLNamedNodeMap;

  // The small fields first, so that they share one word with the count.
  uint8_t FNodeType;
  bool FChildListStale = false;
  TXMLOwnerLink* FOwner = nullptr;
  TIntf<TXMLNamedNodeMap> FAttributes;  // made on first use
  TIntf<TXMLNodeList> FChildNodes;      // made on first use
  TXMLNode* FParent = nullptr;
  TXMLReadAttrs* FReadAttrs = nullptr;  // attributes not yet asked for, in order; FAttributes is none then
  WideString FName;
  WideString FValue;
  // The wrapped node, the node-class registry, host and collection nodes and the user
  // value: made when first used, so that the nodes of a parsed tree do not carry them.
  struct TBinding {
    TIntf<IXMLNode> Wrapped;
    std::vector<std::pair<WideString, const TXMLNodeClass*>> Registry;
    TXMLNode* Host = nullptr;
    int32_t UserValue = 0;
    std::vector<TXMLNode*> CollectionNodes;
    TGUID ItemIID{};
    WideString ItemTag;
  };
  std::unique_ptr<TBinding> FBinding;
  TBinding& Binding() {
    if (!FBinding) FBinding = std::make_unique<TBinding>();
    return *FBinding;
  }
  bool HasRegistry() const { return FBinding && !FBinding->Registry.empty(); }
  static const TGUID kNoIID;
  static const WideString kNoTag;
  // Lets go of the owner link (the node no longer names a document).
  void DropOwner() noexcept;
};

}  // namespace xml
