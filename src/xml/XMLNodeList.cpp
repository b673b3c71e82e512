#include "xml/XMLNodeList.h"

#include <algorithm>

#include "base/Format.h"
#include "xml/XMLException.h"
#include "xml/XMLLookupTables.h"
#include "xml/XMLNode.h"

namespace xml {

namespace {

// Answers no QueryInterface: an enumerator is only ever used through the list's GetEnumerator.
class TXMLEnumerator final : public TXMLInterfacedObject<>, public virtual IXMLEnumerator {
 public:
  explicit TXMLEnumerator(TXMLCustomList* list) : FList(list) {}
  TIntf<IXMLNode> GetCurrent() override { return FList->GetItem(FIndex); }
  bool MoveNext() override { return ++FIndex < FList->GetLength(); }

 private:
  TIntf<TXMLCustomList> FList;
  int32_t FIndex = -1;
};

}  // namespace

TXMLCustomList::~TXMLCustomList() = default;

TIntf<IXMLNode> TXMLCustomList::GetItem(int32_t index) {
  if (index < 0 || index >= GetLength()) return {};
  return FItems[static_cast<size_t>(index)];
}

TIntf<IXMLNode> TXMLCustomList::GetNamedItemOrFail(const WideString& name) {
  TIntf<IXMLNode> node = FindNode(name);
  if (!node) throw EXMLException(base::Format("Node \"%s\" not found", MessageArg(name)));
  return node;
}

int32_t TXMLCustomList::Add(IXMLNode* node) {
  FItems.emplace_back(node);
  return GetLength() - 1;
}

int32_t TXMLCustomList::IndexOf(IXMLNode* node) {
  for (size_t i = 0; i < FItems.size(); ++i)
    if (FItems[i].Get() == node) return static_cast<int32_t>(i);
  return -1;
}

void TXMLCustomList::Insert(int32_t index, IXMLNode* node) {
  index = std::clamp(index, 0, GetLength());
  FItems.insert(FItems.begin() + index, TIntf<IXMLNode>(node));
}

void TXMLCustomList::LetGo(IXMLNode* node) {
  TXMLNode* n = TXMLNode::FromIntf(node);
  if (n && FOwner && n->FParent == FOwner) n->FParent = nullptr;
}

int32_t TXMLCustomList::Remove(IXMLNode* node) {
  int32_t index = IndexOf(node);
  if (index >= 0) Delete(index);
  return index;
}

void TXMLCustomList::Delete(int32_t index) {
  if (index < 0 || index >= GetLength()) base::RaiseListIndexError(index);
  TIntf<IXMLNode> keep = FItems[static_cast<size_t>(index)];
  FItems.erase(FItems.begin() + index);
  LetGo(keep.Get());
}

void TXMLCustomList::Clear() {
  TXMLNodeItems items;
  items.swap(FItems);
  for (auto& item : items) LetGo(item.Get());
}

void TXMLCustomList::ReleaseItems() {
  if (FRefCount == 1) {
    // The owner holds the last reference, so the list goes with it: its items are let go
    // now, and only one that someone else still holds needs its parent cleared.
    TXMLNodeItems items;
    items.swap(FItems);
    for (auto& item : items) {
      IXMLNode* node = item.Detach();
      if (node->Release() > 0) LetGo(node);
    }
  } else {
    for (auto& item : FItems) LetGo(item.Get());
  }
  FOwner = nullptr;
}

TIntf<IXMLNode> TXMLCustomList::FindNode(const WideString& name) {
  int32_t index = IndexOfNodeName(name);
  return index < 0 ? TIntf<IXMLNode>() : FItems[static_cast<size_t>(index)];
}

int32_t TXMLCustomList::IndexOfNodeName(const WideString& name) {
  for (size_t i = 0; i < FItems.size(); ++i) {
    TXMLNode* n = TXMLNode::FromIntf(FItems[i].Get());
    if (n && !n->Wrapped() ? SameName(n->Name(), name) : SameName(FItems[i]->GetNodeName(), name))
      return static_cast<int32_t>(i);
  }
  return -1;
}

int32_t TXMLCustomList::RemoveByName(const WideString& name) {
  int32_t index = IndexOfNodeName(name);
  if (index >= 0) Delete(index);
  return index;
}

TIntf<IXMLEnumerator> TXMLCustomList::GetEnumerator() { return TIntf<IXMLEnumerator>(new TXMLEnumerator(this)); }

int32_t TXMLNodeList::QueryInterface(const TGUID& iid, void** object) {
  return QueryInterfaceOf<TXMLCustomList, IXMLNodeList>(this, iid, object);
}

TIntf<IXMLNode> TXMLNodeList::AddNode(IXMLNode* node) {
  Add(node);
  return TIntf<IXMLNode>(node);
}

TIntf<IXMLNode> TXMLNodeList::TakeNext() {
  TIntf<IXMLNode> node = GetItem(FCursor);
  if (node) ++FCursor;
  return node;
}

int32_t TXMLNamedNodeMap::QueryInterface(const TGUID& iid, void** object) {
  return QueryInterfaceOf<TXMLCustomList, IXMLNamedNodeMap>(this, iid, object);
}

void TXMLNamedNodeMap::SetNamedItem(IXMLNode* node) {
  if (!node) return;
  TIntf<IXMLNode> keep(node);
  int32_t index = IndexOfNodeName(node->GetNodeName());
  if (index >= 0 && FItems[static_cast<size_t>(index)].Get() != node) {
    TIntf<IXMLNode> old = FItems[static_cast<size_t>(index)];
    FItems[static_cast<size_t>(index)] = keep;
    LetGo(old.Get());
  } else if (index < 0) {
    FItems.push_back(keep);
  }
  TXMLNode* n = TXMLNode::FromIntf(node);
  if (n && FOwner) n->FParent = FOwner;
}

TIntf<IXMLNode> TXMLNamedNodeMap::RemoveNamedItem(const WideString& name) {
  int32_t index = IndexOfNodeName(name);
  if (index < 0) return {};
  TIntf<IXMLNode> node = FItems[static_cast<size_t>(index)];
  Delete(index);
  return node;
}

}  // namespace xml
