// TSkinItemList: item names with their items, in the two forms the engine uses (its
// sorted, case-insensitive index that owns nothing; a file's owning list in document
// order), reporting every change to a callback. TSkinFile: one loaded description file.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "skin/SkinItems.h"

namespace skin {

enum TSkinItemAction : int32_t { siaAdded = 0, siaExtracted = 1, siaDeleted = 2 };
using TSkinItemNotify = void (*)(void* userData, TSkinItem* item, TSkinItemAction action);

class TSkinItemList {
 public:
  TSkinItemList(bool ownsItems, bool sorted) : FOwnsItems(ownsItems), FSorted(sorted) {}
  ~TSkinItemList() { Clear(); }
  TSkinItemList(const TSkinItemList&) = delete;
  TSkinItemList& operator=(const TSkinItemList&) = delete;

  void SetNotify(TSkinItemNotify notify, void* userData) { FNotify = notify, FUserData = userData; }
  // Adds under the item's name; an owning list takes ownership.
  void Add(TSkinItem* item);
  int32_t Count() const { return static_cast<int32_t>(FEntries.size()); }
  TSkinItem* Item(int32_t index) const;
  // -1 when absent; case-insensitive.
  int32_t IndexOf(const std::string& name) const;
  // Takes the item out without freeing it; null when it is not in the list.
  TSkinItem* Extract(TSkinItem* item);
  // From the last entry to the first: a deletion report for each (an owning list then
  // frees the item), then the list is empty.
  void Clear();
  auto begin() const { return FEntries.begin(); }
  auto end() const { return FEntries.end(); }

 private:
  struct TEntry {
    std::string Key;  // upper-cased name
    TSkinItem* Item;
  };
  void Report(TSkinItem* item, TSkinItemAction action) {
    if (FNotify) FNotify(FUserData, item, action);
  }
  bool FOwnsItems, FSorted;
  TSkinItemNotify FNotify = nullptr;
  void* FUserData = nullptr;
  std::vector<TEntry> FEntries;
};

class TSkinFile {
 public:
  explicit TSkinFile(TQZSkinEngine* engine);
  ~TSkinFile();
  TQZSkinEngine* const Engine;
  TSkinItemList Items{true, false};
  std::string Folder;    // directory part of FileName with its delimiter, often empty
  std::string FileName;  // the name the file was requested under
  TSkinImageRef Graphic;
};

}  // namespace skin
