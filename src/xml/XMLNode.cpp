#include "xml/XMLNode.h"

#include <algorithm>
#include <cstring>

#include "base/Stream.h"
#include "xml/XMLDocument.h"
#include "xml/XMLException.h"
#include "xml/XMLLookupTables.h"
#include "xml/XMLNodeList.h"
#include "xml/XMLNodes.h"
#include "xml/XMLTextStream.h"
#include "xml/XPathLite.h"

namespace xml {

namespace {

// Asked through QueryInterface, a TXMLNode answers itself (no reference is added).
constexpr TGUID kNodeObjectIID = {0x7A3C0E51, 0x52B4, 0x4F0D, {0x9E, 0x61, 0x0B, 0x8D, 0x3A, 0x27, 0xC4, 0x19}};

bool IsTextKind(uint8_t type) { return type == TEXT_NODE || type == CDATA_SECTION_NODE; }

}  // namespace

static_assert(alignof(TXMLNode) <= kNodeMemoryAlign && alignof(TXMLCustomList) <= kNodeMemoryAlign);

const TGUID TXMLNode::kNoIID{};
const WideString TXMLNode::kNoTag;

TXMLNode* TXMLNode::FromIntf(IXMLNode* node) {
  void* p = nullptr;
  if (node && node->QueryInterface(kNodeObjectIID, &p) == S_XML_OK) return static_cast<TXMLNode*>(p);
  return nullptr;
}

TXMLNode::TXMLNode(TXMLDocument* owner, uint8_t nodeType) : FNodeType(nodeType) {
  if (owner) {
    FOwner = owner->OwnerLink();
    ++FOwner->Refs;
  }
}

void TXMLNode::DropOwner() noexcept {
  if (FOwner && --FOwner->Refs == 0) delete FOwner;
  FOwner = nullptr;
}

TXMLNode::~TXMLNode() {
  if (FBinding) {
    if (TXMLNode* host = FBinding->Host) {
      auto& list = host->Binding().CollectionNodes;
      list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
    for (TXMLNode* c : FBinding->CollectionNodes) c->Binding().Host = nullptr;
  }
  if (FChildNodes) FChildNodes->ReleaseItems();
  if (FAttributes) FAttributes->ReleaseItems();
  if (FReadAttrs) FreeNodeMemory(FReadAttrs, FReadAttrs->Size());
  DropOwner();
}

int32_t TXMLNode::QueryInterface(const TGUID& iid, void** object) {
  if (iid == kNodeObjectIID) {
    *object = this;
    return S_XML_OK;
  }
  return TXMLInterfacedObject::QueryInterface(iid, object);
}

// --- lists ---------------------------------------------------------------------------

TXMLNodeList& TXMLNode::Children() {
  if (TXMLNode* host = Host()) return host->Children();
  if (!FChildNodes) FChildNodes = TIntf<TXMLNodeList>(new (LoadArenaOf(OwnerDocument())) TXMLNodeList(this));
  return *FChildNodes;
}

TXMLNamedNodeMap& TXMLNode::Attributes() {
  if (TXMLNode* host = Host()) return host->Attributes();
  if (FReadAttrs) MakeReadAttributes();
  if (!FAttributes) FAttributes = TIntf<TXMLNamedNodeMap>(new (LoadArenaOf(OwnerDocument())) TXMLNamedNodeMap(this));
  return *FAttributes;
}

bool TXMLNode::HasAttributes() const {
  if (TXMLNode* host = Host()) return host->HasAttributes();
  return FReadAttrs || (FAttributes && !FAttributes->Items().empty());
}

namespace {

// Writes a length of TXMLReadAttrs at p; returns the units written.
size_t PutLength(char16_t* p, size_t length) {
  if (length < 0x8000) {
    p[0] = static_cast<char16_t>(length);
    return 1;
  }
  p[0] = static_cast<char16_t>(0x8000 | (length >> 16));
  p[1] = static_cast<char16_t>(length & 0xFFFF);
  return 2;
}

// Copies n units: names and values are mostly a few units long, shorter than a call of
// memcpy is worth. Up to 16 units go as two fixed-size copies that may overlap (the first
// and the last 2, 4 or 8 units).
template <size_t kUnits>
void CopyUnits(char16_t* to, const char16_t* from) {
  std::memcpy(to, from, kUnits * sizeof(char16_t));
}
char16_t* PutUnits(char16_t* to, const char16_t* from, size_t n) {
  if (n >= 8) {
    if (n > 16) {
      std::memcpy(to, from, n * sizeof(char16_t));
      return to + n;
    }
    CopyUnits<8>(to, from);
    CopyUnits<8>(to + n - 8, from + n - 8);
  } else if (n >= 4) {
    CopyUnits<4>(to, from);
    CopyUnits<4>(to + n - 4, from + n - 4);
  } else if (n >= 2) {
    CopyUnits<2>(to, from);
    CopyUnits<2>(to + n - 2, from + n - 2);
  } else if (n) {
    to[0] = from[0];
  }
  return to + n;
}

size_t GetLength(const char16_t*& p) {
  size_t length = *p++;
  if (length & 0x8000) length = ((length & 0x7FFF) << 16) | *p++;
  return length;
}

}  // namespace

void TXMLNode::AddReadAttribute(std::u16string_view name, std::u16string_view value) {
  const TTextPart parts[2] = {{name.data(), name.size()}, {value.data(), value.size()}};
  AddReadAttributes(parts, 1);
}

void TXMLNode::AddReadAttributes(const TTextPart* parts, size_t count) {
  TXMLDocument* doc = OwnerDocument();
  // Tags with more text than this are rare enough to have their further attributes made
  // into nodes at once (the counts stay far from the limits of their 32 bits).
  constexpr size_t kMaxKept = 0x3FFFFFFF;
  size_t need = 0;  // units, at most
  for (size_t i = 0; i < 2 * count; i += 2) need += 4 + parts[i].Size + parts[i + 1].Size;
  size_t used = FReadAttrs ? FReadAttrs->Units : 0;
  if (FAttributes || FBinding || !doc || doc->FAttrClass != NodeClassOf<TXMLAttr>() || need > kMaxKept ||
      used + need > kMaxKept) {
    for (size_t i = 0; i < 2 * count; i += 2) {
      TXMLNode* attr = doc ? doc->NewNode(doc->FAttrClass, ATTRIBUTE_NODE) : new TXMLAttr(nullptr);
      TXMLNamedNodeMap& attributes = Attributes();
      attributes.AppendNew(attr);
      attr->LinkParent(this);
      attr->FName.assign(parts[i].Data, parts[i].Size);
      attr->FValue.assign(parts[i + 1].Data, parts[i + 1].Size);
    }
    return;
  }
  TXMLNodeArena* arena = LoadArenaOf(doc);
  if (!FReadAttrs || FReadAttrs->Capacity - used < need) {
    size_t capacity = used + need;
    TXMLReadAttrs* old = FReadAttrs;
    // Grown where it lies while nothing else was cut after it (the usual case: a tag's
    // attributes are read one after the other), else moved to twice the room.
    if (old && arena && arena->Extend(old, old->Size(), TXMLReadAttrs::SizeFor(capacity))) {
      old->Capacity = static_cast<uint32_t>(capacity);
    } else {
      if (old) capacity = std::max(capacity, 2 * size_t{old->Capacity});
      auto* made = static_cast<TXMLReadAttrs*>(AllocateNodeMemory(TXMLReadAttrs::SizeFor(capacity), arena));
      made->From = old ? old->From : 0;
      made->Units = static_cast<uint32_t>(used);
      made->Capacity = static_cast<uint32_t>(capacity);
      if (old) {
        std::memcpy(made->Text(), old->Text(), used * sizeof(char16_t));
        FreeNodeMemory(old, old->Size());
      }
      FReadAttrs = made;
    }
  }
  char16_t* p = FReadAttrs->Text() + used;
  for (size_t i = 0; i < 2 * count; i += 2) {
    p += PutLength(p, parts[i].Size);
    p += PutLength(p, parts[i + 1].Size);
    p = PutUnits(p, parts[i].Data, parts[i].Size);
    p = PutUnits(p, parts[i + 1].Data, parts[i + 1].Size);
  }
  FReadAttrs->Units = static_cast<uint32_t>(p - FReadAttrs->Text());
}

void TXMLNode::MakeReadAttributes() {
  TXMLDocument* doc = OwnerDocument();
  if (!FAttributes) FAttributes = TIntf<TXMLNamedNodeMap>(new (LoadArenaOf(doc)) TXMLNamedNodeMap(this));
  TXMLNamedNodeMap& attributes = *FAttributes;
  // One attribute at a time, so that a failure leaves the rest as they were.
  TXMLReadAttrs* read = FReadAttrs;
  while (read->From < read->Units) {
    const char16_t* p = read->Text() + read->From;
    size_t nameLength = GetLength(p);
    size_t valueLength = GetLength(p);
    TXMLNode* attr = new (LoadArenaOf(doc)) TXMLAttr(doc);
    attributes.AppendNew(attr);
    attr->LinkParent(this);
    attr->FName.assign(p, nameLength);
    attr->FValue.assign(p + nameLength, valueLength);
    read->From = static_cast<uint32_t>(p + nameLength + valueLength - read->Text());
  }
  FReadAttrs = nullptr;
  FreeNodeMemory(read, read->Size());
}

size_t TXMLNode::ChildCount() const {
  if (TXMLNode* host = Host()) return host->ChildCount();
  return FChildNodes ? FChildNodes->Items().size() : 0;
}

TXMLNode* TXMLNode::ChildAt(size_t index) const {
  if (TXMLNode* host = Host()) return host->ChildAt(index);
  return FromIntf(FChildNodes->Items()[index].Get());
}

TIntf<IXMLNamedNodeMap> TXMLNode::GetAttributes() { return TIntf<IXMLNamedNodeMap>(&Attributes()); }

TIntf<IXMLNodeList> TXMLNode::GetChildNodes() {
  if (TXMLNode* host = Host()) return host->GetChildNodes();
  if (FChildListStale || (!FChildNodes && (Wrapped() || HasRegistry()))) RebuildChildList();
  return TIntf<IXMLNodeList>(&Children());
}

TIntf<IXMLNode> TXMLNode::GetFirstChild() {
  TIntf<IXMLNodeList> list = GetChildNodes();
  return list->GetItem(0);
}

TIntf<IXMLNode> TXMLNode::GetLastChild() {
  TIntf<IXMLNodeList> list = GetChildNodes();
  return list->GetItem(list->GetLength() - 1);
}

TIntf<IXMLNode> TXMLNode::GetNextSibling() {
  if (!FParent) return {};
  TIntf<IXMLNodeList> list = FParent->GetChildNodes();
  int32_t i = list->IndexOf(this);
  return i < 0 ? TIntf<IXMLNode>() : list->GetItem(i + 1);
}

TIntf<IXMLNode> TXMLNode::GetPreviousSibling() {
  if (!FParent) return {};
  TIntf<IXMLNodeList> list = FParent->GetChildNodes();
  int32_t i = list->IndexOf(this);
  return i <= 0 ? TIntf<IXMLNode>() : list->GetItem(i - 1);
}

WideString TXMLNode::GetNodeName() { return Wrapped() ? Wrapped()->GetNodeName() : FName; }

uint8_t TXMLNode::GetNodeType() { return NodeType(); }

WideString TXMLNode::GetNodeValue() { return Wrapped() ? Wrapped()->GetNodeValue() : FValue; }

void TXMLNode::SetNodeValue(const WideString& value) {
  if (Wrapped())
    Wrapped()->SetNodeValue(value);
  else
    FValue = value;
}

TIntf<IXMLDocument> TXMLNode::GetOwnerDocument() { return TIntf<IXMLDocument>(OwnerDocument()); }

TIntf<IXMLNode> TXMLNode::GetParentNode() { return TIntf<IXMLNode>(FParent); }

// --- editing -------------------------------------------------------------------------

void TXMLNode::Detach(TXMLNode* child) {
  TXMLNode* parent = child->FParent;
  if (!parent) return;
  TIntf<IXMLNode> keep(child);
  if (parent->FChildNodes) parent->FChildNodes->Remove(child);
  if (parent->FAttributes) parent->FAttributes->Remove(child);
  child->FParent = nullptr;
}

void TXMLNode::CheckNewChild(TXMLNode* child) {
  if (!child) throw EXMLException(HIERARCHY_REQUEST_ERR, xeNone, {DOMCodeText(HIERARCHY_REQUEST_ERR)});
  if (NodeType() == ELEMENT_NODE && child->NodeType() == ATTRIBUTE_NODE)
    throw EXMLException(HIERARCHY_REQUEST_ERR, xeWrongNodeType, {NodeTypeName(ATTRIBUTE_NODE)});
  // A node cannot become a child of itself or of one of its descendants.
  for (TXMLNode* p = this; p; p = p->FParent)
    if (p == child) throw EXMLException(HIERARCHY_REQUEST_ERR, xeNone, {DOMCodeText(HIERARCHY_REQUEST_ERR)});
  if (child->NodeType() == DOCUMENT_NODE)
    throw EXMLException(HIERARCHY_REQUEST_ERR, xeWrongNodeType, {NodeTypeName(DOCUMENT_NODE)});
}

void TXMLNode::AppendNew(TXMLNode* child) {
  Children().AppendNew(child);
  child->FParent = this;
}

TIntf<IXMLNode> TXMLNode::AppendChild(IXMLNode* newChild) {
  TXMLNode* child = FromIntf(newChild);
  CheckNewChild(child);
  TIntf<IXMLNode> keep(newChild);
  Detach(child);
  Children().Items().push_back(keep);
  child->FParent = this;
  return keep;
}

TIntf<IXMLNode> TXMLNode::InsertBefore(IXMLNode* newChild, IXMLNode* refChild) {
  if (!refChild) return AppendChild(newChild);
  TXMLNode* child = FromIntf(newChild);
  CheckNewChild(child);
  if (Children().IndexOf(refChild) < 0) throw EXMLException(NOT_FOUND_ERR, xeNone, {"Invalid RefChild"});
  TIntf<IXMLNode> keep(newChild);
  if (newChild == refChild) return keep;
  Detach(child);
  Children().Insert(Children().IndexOf(refChild), newChild);
  child->FParent = this;
  return keep;
}

TIntf<IXMLNode> TXMLNode::ReplaceChild(IXMLNode* newChild, IXMLNode* oldChild) {
  TIntf<IXMLNode> old(oldChild);
  if (!oldChild || Children().IndexOf(oldChild) < 0) return old;
  if (newChild == oldChild) return old;
  TXMLNode* child = FromIntf(newChild);
  CheckNewChild(child);
  TIntf<IXMLNode> keep(newChild);
  Detach(child);
  int32_t index = Children().IndexOf(oldChild);
  Children().Insert(index, newChild);
  child->FParent = this;
  Children().Remove(oldChild);
  return old;
}

TIntf<IXMLNode> TXMLNode::RemoveChild(IXMLNode* child) {
  TIntf<IXMLNode> keep(child);
  if (child) Children().Remove(child);  // the list clears the child's parent
  return keep;
}

void TXMLNode::SetParentNode(IXMLNode* parent) {
  if (!parent) {
    Detach(this);
    return;
  }
  TXMLNode* p = FromIntf(parent);
  if (p == FParent) return;
  // The parent pointer is only ever set together with membership of the parent's list.
  p->AppendChild(this);
}

bool TXMLNode::HasChildNodes() { return GetChildNodes()->GetLength() > 0; }

bool TXMLNode::IsTextElement() {
  if (NodeType() != ELEMENT_NODE) return false;
  TIntf<IXMLNodeList> list = GetChildNodes();
  return list->GetLength() == 1 && IsTextKind(list->GetItem(0)->GetNodeType());
}

bool TXMLNode::HasOnlyText() { return IsTextElement(); }

bool TXMLNode::IsEmpty() { return GetChildNodes()->GetLength() == 0 && GetAttributes()->GetLength() == 0; }

// --- attributes ----------------------------------------------------------------------

WideString TXMLNode::GetAttribute(const WideString& name) {
  TIntf<IXMLNode> attr = GetAttributes()->GetNamedItem(name);
  return attr ? attr->GetNodeValue() : WideString();
}

void TXMLNode::SetAttribute(const WideString& name, const WideString& value) {
  TIntf<IXMLNamedNodeMap> map = GetAttributes();
  TIntf<IXMLNode> attr = map->GetNamedItem(name);
  if (!attr) attr = TIntf<IXMLNode>(NewAttr(name).Get());
  attr->SetNodeValue(value);
  map->SetNamedItem(attr.Get());
}

void TXMLNode::RemoveAttribute(const WideString&) { RaiseNotImplemented("RemoveAttribute"); }

TIntf<IXMLAttr> TXMLNode::GetAttributeNode(const WideString& name) {
  return Supports<IXMLAttr>(GetAttributes()->GetNamedItem(name));
}

void TXMLNode::SetAttributeNode(IXMLAttr*) {}

void TXMLNode::RemoveAttributeNode(IXMLAttr*) { RaiseNotImplemented("RemoveAttributeNode"); }

TIntf<IXMLAttr> TXMLNode::GetOrAddAttribute(const WideString& name, const WideString& value) {
  TIntf<IXMLNamedNodeMap> map = GetAttributes();
  TIntf<IXMLAttr> attr = Supports<IXMLAttr>(map->GetNamedItem(name));
  if (!attr) {
    attr = NewAttr(name);
    map->SetNamedItem(attr.Get());
  }
  if (!value.empty()) attr->SetNodeValue(value);
  return attr;
}

// --- reading helpers -----------------------------------------------------------------

TIntf<IXMLNodeList> TXMLNode::GetElementsByTagName(const WideString& name) {
  TIntf<TXMLNodeList> result(new TXMLNodeList(nullptr));
  // Document order without recursion: a stack of (list, next index).
  std::vector<std::pair<TIntf<IXMLNodeList>, int32_t>> stack;
  stack.emplace_back(GetChildNodes(), 0);
  while (!stack.empty()) {
    auto& [list, index] = stack.back();
    if (index >= list->GetLength()) {
      stack.pop_back();
      continue;
    }
    TIntf<IXMLNode> node = list->GetItem(index++);
    if (node->GetNodeType() == ELEMENT_NODE) {
      if (SameName(node->GetNodeName(), name)) result->Add(node.Get());
      stack.emplace_back(node->GetChildNodes(), 0);
    }
  }
  return TIntf<IXMLNodeList>(result.Get());
}

WideString TXMLNode::GetText() {
  WideString value = GetNodeValue();
  if (OwnerDocument() && OwnerDocument()->GetKeepWhiteSpace()) return value;
  return TrimWhiteSpace(value);
}

void TXMLNode::SetText(const WideString& text) {
  TIntf<IXMLNodeList> list = GetChildNodes();
  for (int32_t i = list->GetLength() - 1; i >= 0; --i) list->Delete(i);
  if (text.empty()) return;
  AppendChild(NewText(text).Get());
}

WideString TXMLNode::ReadChildValue(const WideString& name) {
  TIntf<IXMLNode> child = GetChildNodes()->FindNode(name);
  return child ? child->GetNodeValue() : WideString();
}

void TXMLNode::WriteChildValue(const WideString& name, const WideString& value) {
  TIntf<IXMLNode> child = GetChildNodes()->FindNode(name);
  if (child) {
    child->SetNodeValue(value);
    return;
  }
  TIntf<IXMLElement> element = AppendElement(name);
  element->AppendChild(NewText(value).Get());
}

TIntf<IXMLNode> TXMLNode::NewText(const WideString& value) {
  if (OwnerDocument()) return TIntf<IXMLNode>(OwnerDocument()->CreateTextNode(value).Get());
  auto* t = new TXMLText(nullptr);
  TIntf<IXMLNode> node(t);
  t->SetNodeValue(value);
  return node;
}

TIntf<IXMLAttr> TXMLNode::NewAttr(const WideString& name) {
  if (OwnerDocument()) return OwnerDocument()->CreateAttribute(name);
  auto* a = new TXMLAttr(nullptr);
  a->SetName(name);
  return TIntf<IXMLAttr>(a);
}

TIntf<IXMLElement> TXMLNode::AppendElement(const WideString& tagName) {
  TIntf<IXMLElement> element;
  if (OwnerDocument()) {
    element = OwnerDocument()->CreateElement(tagName);
  } else {
    auto* e = new TXMLElement(nullptr);
    e->SetName(tagName);
    element = TIntf<IXMLElement>(e);
  }
  AppendChild(element.Get());
  return element;
}

TIntf<IXMLNode> TXMLNode::GetOrAddChild(const WideString& tagName) {
  TIntf<IXMLNode> child = GetChildNodes()->FindNode(tagName);
  if (child) return child;
  return TIntf<IXMLNode>(AppendElement(tagName).Get());
}

TIntf<IXMLNode> TXMLNode::GetWrappedNode() { return TIntf<IXMLNode>(Wrapped()); }

// --- cloning -------------------------------------------------------------------------

TXMLNode* TXMLNode::MakeCopy(TXMLDocument* target) {
  uint8_t type = NodeType();
  WideString name = GetNodeName();
  TIntf<IXMLNode> made;
  switch (type) {
    case NOTATION_NODE: throw EXMLException("Invalid operation: cannot clone Notation node");
    case ENTITY_REFERENCE_NODE:
    case ENTITY_NODE:
    case DOCUMENT_TYPE_NODE: RaiseNotImplemented("CloneNode");
    case DOCUMENT_NODE: return new TXMLDocument();
    default: break;
  }
  if (target) {
    switch (type) {
      case ELEMENT_NODE: made = target->CreateElement(name); break;
      case ATTRIBUTE_NODE: made = target->CreateAttribute(name); break;
      case TEXT_NODE: made = target->CreateTextNode(GetNodeValue()); break;
      case CDATA_SECTION_NODE: made = target->CreateCDATASection(GetNodeValue()); break;
      case PROCESSING_INSTRUCTION_NODE: made = target->CreateProcessingInstruction(name, GetNodeValue()); break;
      case COMMENT_NODE: made = target->CreateComment(GetNodeValue()); break;
      case DOCUMENT_FRAGMENT_NODE: made = target->CreateDocumentFragment(); break;
      default: return nullptr;
    }
    TXMLNode* node = FromIntf(made.Get());
    node->AddRef();  // handed on uncounted below
    made = nullptr;
    node->FRefCount--;
    return node;
  }
  TXMLNode* node;
  switch (type) {
    case ELEMENT_NODE: node = new TXMLElement(nullptr); break;
    case ATTRIBUTE_NODE: node = new TXMLAttr(nullptr); break;
    case TEXT_NODE:
    case CDATA_SECTION_NODE: node = new TXMLText(nullptr); break;
    case PROCESSING_INSTRUCTION_NODE: node = new TXMLProcessingInstruction(nullptr); break;
    case COMMENT_NODE: node = new TXMLComment(nullptr); break;
    case DOCUMENT_FRAGMENT_NODE: node = new TXMLDocumentFragment(nullptr); break;
    default: return nullptr;
  }
  if (type == ELEMENT_NODE || type == ATTRIBUTE_NODE || type == PROCESSING_INSTRUCTION_NODE) node->FName = name;
  return node;
}

TIntf<IXMLNode> TXMLNode::CloneNode(bool deep) { return CloneNodeInto(OwnerDocument(), deep); }

TIntf<IXMLNode> TXMLNode::CloneNodeInto(IXMLDocument* target, bool deep) {
  TXMLDocument* doc = target ? dynamic_cast<TXMLDocument*>(target) : nullptr;
  TXMLNode* made = MakeCopy(doc);
  if (!made) return {};
  TIntf<IXMLNode> copy(made);
  // An element's value lives in its children, which a deep copy brings along; assigning
  // it as well would add a second copy of the text.
  uint8_t type = NodeType();
  if (type != ELEMENT_NODE && type != DOCUMENT_NODE && type != DOCUMENT_FRAGMENT_NODE)
    copy->SetNodeValue(GetNodeValue());
  // A copied document owns the copies of its children.
  TXMLDocument* childTarget = type == DOCUMENT_NODE ? static_cast<TXMLDocument*>(made) : doc;
  TIntf<IXMLNamedNodeMap> attrs = GetAttributes();
  for (int32_t i = 0; i < attrs->GetLength(); ++i) {
    TIntf<IXMLNode> a = attrs->GetItem(i)->CloneNodeInto(childTarget, true);
    if (!a) continue;
    made->Attributes().Add(a.Get());
    FromIntf(a.Get())->FParent = made;
  }
  if (deep) {
    TIntf<IXMLNodeList> children = GetChildNodes();
    for (int32_t i = 0; i < children->GetLength(); ++i) {
      TIntf<IXMLNode> c = children->GetItem(i)->CloneNodeInto(childTarget, true);
      if (!c) continue;
      made->Children().Add(c.Get());
      FromIntf(c.Get())->FParent = made;
    }
  }
  return copy;
}

// --- documents, registry and wrapping ------------------------------------------------

void TXMLNode::ResetDocument() {
  std::vector<TXMLNode*> stack{this};
  while (!stack.empty()) {
    TXMLNode* n = stack.back();
    stack.pop_back();
    n->DropOwner();
    for (TXMLCustomList* list :
         {static_cast<TXMLCustomList*>(n->FChildNodes.Get()), static_cast<TXMLCustomList*>(n->FAttributes.Get())})
      if (list)
        for (auto& item : list->Items())
          if (TXMLNode* c = FromIntf(item.Get())) stack.push_back(c);
  }
}

void TXMLNode::RegisterChildNode(const WideString& tagName, const TXMLNodeClass* nodeClass) {
  if (TXMLNode* host = Host()) {
    host->RegisterChildNode(tagName, nodeClass);
    return;
  }
  auto& registry = Binding().Registry;
  auto it = std::find_if(registry.begin(), registry.end(), [&](const auto& e) { return e.first == tagName; });
  if (it != registry.end()) {
    if (nodeClass)
      it->second = nodeClass;
    else
      registry.erase(it);
  } else {
    registry.emplace_back(tagName, nodeClass);
  }
  FChildListStale = true;
}

void TXMLNode::RegisterChildNodes(const std::vector<WideString>& tagNames,
                                  const std::vector<const TXMLNodeClass*>& nodeClasses) {
  if (tagNames.size() != nodeClasses.size())
    throw EXMLException(std::string("Mismatched paramaters to RegisterChildNodes"));
  for (size_t i = 0; i < tagNames.size(); ++i) RegisterChildNode(tagNames[i], nodeClasses[i]);
}

void TXMLNode::InitWrapping(IXMLNode* wrapped, TXMLNode* parent) {
  Binding().Wrapped = TIntf<IXMLNode>(wrapped);
  FParent = parent;
  FChildListStale = true;
  TIntf<IXMLNamedNodeMap> attrs = wrapped->GetAttributes();
  for (int32_t i = 0; i < attrs->GetLength(); ++i) {
    auto* a = new TXMLAttr(OwnerDocument());
    TIntf<IXMLNode> keep(a);
    a->Binding().Wrapped = attrs->GetItem(i);
    Attributes().Add(a);
    a->FParent = this;
  }
}

void TXMLNode::RebuildChildList() {
  FChildListStale = false;
  TIntf<IXMLNodeList> source = Wrapped() ? Wrapped()->GetChildNodes() : TIntf<IXMLNodeList>(&Children());
  TIntf<TXMLNodeList> list(new TXMLNodeList(this));
  for (int32_t i = 0; i < source->GetLength(); ++i) {
    TIntf<IXMLNode> child = source->GetItem(i);
    WideString name = child->GetNodeName();
    const TXMLNodeClass* nodeClass = nullptr;
    if (FBinding)
      for (const auto& [tag, cls] : FBinding->Registry)
        if (SameName(tag, name)) {
          nodeClass = cls;
          break;
        }
    if (!nodeClass) {
      list->Items().push_back(child);
      continue;
    }
    TIntf<IXMLNode> inner = child->GetWrappedNode();
    TXMLNode* made = nodeClass->Create(OwnerDocument());
    TIntf<IXMLNode> keep(made);
    made->InitWrapping(inner ? inner.Get() : child.Get(), this);
    list->Items().push_back(keep);
  }
  SetChildNodes(list);
}

void TXMLNode::SetChildNodes(const TIntf<TXMLNodeList>& list) {
  if (Host()) return;
  // Children that the new list no longer holds let go of this node.
  if (FChildNodes && FChildNodes.Get() != list.Get())
    for (auto& item : FChildNodes->Items())
      if (TXMLNode* c = FromIntf(item.Get()); c && c->FParent == this && list->IndexOf(item.Get()) < 0)
        c->FParent = nullptr;
  FChildNodes = list;
  if (FBinding)
    for (TXMLNode* c : FBinding->CollectionNodes) c->SetChildNodes(list);
}

TIntf<IXMLNode> TXMLNode::MakeCollectionNode(const TXMLNodeClass* nodeClass, const TGUID& itemIID,
                                             const WideString& itemTag) {
  TXMLNode* root = this;
  while (root->Host()) root = root->Host();
  TXMLNode* made = nodeClass->Create(root->OwnerDocument());
  TIntf<IXMLNode> keep(made);
  if (root->Wrapped()) made->InitWrapping(root->Wrapped(), root->FParent);
  made->Binding().Host = root;
  made->Binding().ItemIID = itemIID;
  made->Binding().ItemTag = itemTag;
  root->Binding().CollectionNodes.push_back(made);
  return keep;
}

// --- writing -------------------------------------------------------------------------

void TXMLNode::WriteTo(IXMLTextStream* stream) {
  auto* s = dynamic_cast<TXMLTextStream*>(stream);
  if (!s) throw EXMLException(std::string("Unsupported text stream"));
  WriteNode(*s);
}

void TXMLNode::WriteChildren(TXMLTextStream& stream, bool lineBreaks) {
  TIntf<IXMLNodeList> list = GetChildNodes();
  int32_t n = list->GetLength();
  if (n == 0) return;
  stream.IncIndent();
  for (int32_t i = 0; i < n; ++i) {
    if (lineBreaks && i > 0) stream.WriteLineBreak(true);
    TIntf<IXMLNode> child = list->GetItem(i);
    if (TXMLNode* c = FromIntf(child.Get()))
      c->WriteNode(stream);
    else
      child->WriteTo(&stream);
  }
  stream.DecIndent();
}

void TXMLNode::WriteNode(TXMLTextStream& stream) { WriteChildren(stream, false); }

void TXMLNode::ReadNode(TXMLNode*, TXMLTextStream&) {}

WideString TXMLNode::GetMarkup() {
  base::TMemoryStream memory;
  {
    TIntf<TXMLTextStream> stream(new TXMLTextStream(&memory, 1200, xmWrite));
    stream->SetOutputFormat(FormatCompact);
    WriteNode(*stream);
    stream->Flush();
  }
  size_t units = memory.Size() > 2 ? static_cast<size_t>(memory.Size() - 2) / 2 : 0;
  WideString text(units, u'\0');
  if (units) std::copy_n(memory.Memory() + 2, units * 2, reinterpret_cast<uint8_t*>(text.data()));
  return text;
}

// --- XPath subset --------------------------------------------------------------------

TIntf<IXMLNodeList> TXMLNode::SelectNodeList(const WideString& expression) {
  TIntf<IXMLNode> context(this);
  if (OwnerDocument() && !expression.empty() && expression[0] == u'/')
    context = TIntf<IXMLNode>(OwnerDocument()->GetDocumentElement().Get());
  TXPathLite path(expression);
  return path.Select(context.Get(), false);
}

TIntf<IXMLNode> TXMLNode::SelectFirstNode(const WideString& expression) {
  TIntf<IXMLNode> context(this);
  if (OwnerDocument() && !expression.empty() && expression[0] == u'/') context = TIntf<IXMLNode>(OwnerDocument());
  TXPathLite path(expression);
  return path.Select(context.Get(), true)->GetItem(0);
}

}  // namespace xml
