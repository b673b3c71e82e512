// TList: an ordered list of object references that tells its subclasses of every change
// through Notify; TObjectList: a TList that may own (and so release) its objects.
// Index errors raise EListError "List index out of bounds (%d)".
#pragma once

#include <vector>

#include "base/Object.h"

namespace base {

enum class TListNotification { lnAdded = 0, lnExtracted = 1, lnDeleted = 2 };

class TList : public TObject {
 public:
  ~TList() override;
  int Count() const { return static_cast<int>(FItems.size()); }
  TObject* Get(int index) const;
  TObject* operator[](int index) const { return Get(index); }
  void Put(int index, TObject* item);
  int Add(TObject* item);
  void Insert(int index, TObject* item);
  // Removes the entry and notifies lnDeleted (an owning list releases the object).
  void Delete(int index);
  // Removes the first entry of item; returns its former index or -1.
  int Remove(TObject* item);
  // Removes the first entry of item without releasing it (lnExtracted); returns item or nullptr.
  TObject* Extract(TObject* item);
  int IndexOf(const TObject* item) const;
  void Exchange(int a, int b);
  void Move(int from, int to);
  void Clear();
  TObject* First() const { return Get(0); }
  TObject* Last() const { return Get(Count() - 1); }
  std::vector<TObject*>& List() { return FItems; }

 protected:
  virtual void Notify(TObject* item, TListNotification action);

 private:
  void Check(int index) const;
  std::vector<TObject*> FItems;
};

class TObjectList : public TList {
 public:
  explicit TObjectList(bool ownsObjects = true) : FOwnsObjects(ownsObjects) {}
  ~TObjectList() override;
  bool OwnsObjects() const { return FOwnsObjects; }
  void SetOwnsObjects(bool v) { FOwnsObjects = v; }

 protected:
  void Notify(TObject* item, TListNotification action) override;

 private:
  bool FOwnsObjects;
};

}  // namespace base
