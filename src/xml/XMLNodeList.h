// Lists of nodes: TXMLCustomList (an ordered list of counted node references and the node
// that owns it), TXMLNodeList (child lists and query results, with a cursor) and
// TXMLNamedNodeMap (attribute maps). Name lookups ignore case. A list owned by a node
// clears the parent pointer of a node it lets go whose parent is that owner.
#pragma once

#include <vector>

#include "xml/XMLInterfacedObject.h"
#include "xml/XMLNodeArena.h"

namespace xml {

// The items of a list: counted references, kept in the load's arena while it runs.
using TXMLNodeItems = std::vector<TIntf<IXMLNode>, TNodeAllocator<TIntf<IXMLNode>>>;

class TXMLCustomList : public TXMLInterfacedObject<IXMLCustomList> {
 public:
  explicit TXMLCustomList(TXMLNode* owner) : FOwner(owner) {}
  TXMLCustomList(const TXMLCustomList&) = delete;
  TXMLCustomList& operator=(const TXMLCustomList&) = delete;
  virtual ~TXMLCustomList();
  XML_NODE_MEMORY_OPERATORS

  int32_t GetLength() override { return static_cast<int32_t>(FItems.size()); }
  // None for an index outside the list.
  TIntf<IXMLNode> GetItem(int32_t index) override;
  // EXMLException "Node "%s" not found" when absent.
  TIntf<IXMLNode> GetNamedItemOrFail(const WideString& name) override;
  int32_t Add(IXMLNode* node) override;
  int32_t IndexOf(IXMLNode* node) override;
  // An index outside 0..length is clamped.
  void Insert(int32_t index, IXMLNode* node) override;
  int32_t Remove(IXMLNode* node) override;
  void Delete(int32_t index) override;
  void Clear() override;
  TIntf<IXMLNode> FindNode(const WideString& name) override;
  int32_t IndexOfNodeName(const WideString& name) override;
  int32_t RemoveByName(const WideString& name) override;
  TIntf<IXMLEnumerator> GetEnumerator() override;

  TXMLNodeItems& Items() { return FItems; }
  // Appends a node the reader has just made. The first one makes room for three: a
  // list with one item costs the same heap block, and most lists get more.
  void AppendNew(IXMLNode* node) {
    if (FItems.capacity() == 0) FItems.reserve(3);
    FItems.emplace_back(node);
  }
  TXMLNode* Owner() const { return FOwner; }
  void SetOwner(TXMLNode* owner) { FOwner = owner; }
  // The owner is going: clears the parents of every item that points at it, or, when the
  // owner's reference to the list is the last one, lets go of the items at once.
  void ReleaseItems();

 protected:
  void LetGo(IXMLNode* node);

  TXMLNode* FOwner;
  TXMLNodeItems FItems;
};

class TXMLNodeList final : public TXMLCustomList, public virtual IXMLNodeList {
 public:
  using TXMLCustomList::TXMLCustomList;
  int32_t QueryInterface(const TGUID& iid, void** object) override;
  TIntf<IXMLNode> AddNode(IXMLNode* node) override;
  void Rewind() override { FCursor = 0; }
  TIntf<IXMLNode> TakeNext() override;

 private:
  int32_t FCursor = 0;
};

class TXMLNamedNodeMap final : public TXMLCustomList, public virtual IXMLNamedNodeMap {
 public:
  using TXMLCustomList::TXMLCustomList;
  int32_t QueryInterface(const TGUID& iid, void** object) override;
  TIntf<IXMLNode> GetNamedItem(const WideString& name) override { return FindNode(name); }
  // Replaces the item of the same name in place, or appends.
  void SetNamedItem(IXMLNode* node) override;
  TIntf<IXMLNode> RemoveNamedItem(const WideString& name) override;
};

}  // namespace xml
