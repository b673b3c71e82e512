#include "base/List.h"

#include <algorithm>

#include "base/Exceptions.h"

namespace base {

TList::~TList() {
  // Subclass overrides of Notify are gone by now; owning lists clear in their own
  // destructors.
  FItems.clear();
}

void TList::Check(int index) const {
  if (index < 0 || index >= Count()) RaiseListIndexError(index);
}

TObject* TList::Get(int index) const {
  Check(index);
  return FItems[static_cast<size_t>(index)];
}

void TList::Put(int index, TObject* item) {
  Check(index);
  TObject* old = FItems[static_cast<size_t>(index)];
  if (old == item) return;
  FItems[static_cast<size_t>(index)] = item;
  if (old) Notify(old, TListNotification::lnDeleted);
  if (item) Notify(item, TListNotification::lnAdded);
}

int TList::Add(TObject* item) {
  FItems.push_back(item);
  if (item) Notify(item, TListNotification::lnAdded);
  return Count() - 1;
}

void TList::Insert(int index, TObject* item) {
  if (index < 0 || index > Count()) RaiseListIndexError(index);
  FItems.insert(FItems.begin() + index, item);
  if (item) Notify(item, TListNotification::lnAdded);
}

void TList::Delete(int index) {
  Check(index);
  TObject* item = FItems[static_cast<size_t>(index)];
  FItems.erase(FItems.begin() + index);
  if (item) Notify(item, TListNotification::lnDeleted);
}

int TList::Remove(TObject* item) {
  int i = IndexOf(item);
  if (i >= 0) Delete(i);
  return i;
}

TObject* TList::Extract(TObject* item) {
  int i = IndexOf(item);
  if (i < 0) return nullptr;
  FItems.erase(FItems.begin() + i);
  if (item) Notify(item, TListNotification::lnExtracted);
  return item;
}

int TList::IndexOf(const TObject* item) const {
  auto it = std::find(FItems.begin(), FItems.end(), item);
  return it == FItems.end() ? -1 : static_cast<int>(it - FItems.begin());
}

void TList::Exchange(int a, int b) {
  Check(a);
  Check(b);
  std::swap(FItems[static_cast<size_t>(a)], FItems[static_cast<size_t>(b)]);
}

void TList::Move(int from, int to) {
  if (from == to) return;
  Check(from);
  Check(to);
  TObject* item = FItems[static_cast<size_t>(from)];
  FItems.erase(FItems.begin() + from);
  FItems.insert(FItems.begin() + to, item);
}

void TList::Clear() {
  while (!FItems.empty()) Delete(Count() - 1);
}

void TList::Notify(TObject*, TListNotification) {}

TObjectList::~TObjectList() { Clear(); }

void TObjectList::Notify(TObject* item, TListNotification action) {
  if (FOwnsObjects && action == TListNotification::lnDeleted) delete item;
  TList::Notify(item, action);
}

}  // namespace base
