// TStringList: an ordered list of 8-bit strings, each with an optional object reference
// (not owned). Text joins lines with CR LF and splits on CR LF, LF or CR; Values and
// Names read "name=value" lines. IndexOf and sorting ignore ASCII case unless
// CaseSensitive is set. Index errors raise EStringListError "List index out of bounds (%d)".
#pragma once

#include <string>

#include "base/Object.h"
#include "base/StringListCore.h"

namespace base {

class TStringList : public TObject {
 public:
  int Count() const { return FItems.Count(); }
  const std::string& Get(int index) const;
  const std::string& operator[](int index) const { return Get(index); }
  void Put(int index, const std::string& s);
  TObject* GetObject(int index) const;
  void PutObject(int index, TObject* object);

  int Add(const std::string& s, TObject* object = nullptr);
  void Insert(int index, const std::string& s, TObject* object = nullptr);
  void Delete(int index);
  void Clear() { FItems.Clear(); }
  int IndexOf(const std::string& s) const;
  int IndexOfName(const std::string& name) const;
  // For sorted lists: true and the index when found, else false and the insert position.
  // Accepting duplicates, the index is the first of equal strings; otherwise it is the
  // first equal string the search meets.
  bool Find(const std::string& s, int& index) const;

  std::string Text() const;
  void SetText(const std::string& text);
  std::string Names(int index) const;
  std::string ValueFromIndex(int index) const;
  std::string Values(const std::string& name) const;
  // Sets name=value, appending when missing; an empty value deletes the line.
  void SetValue(const std::string& name, const std::string& value);

  bool Sorted() const { return FSorted; }
  void SetSorted(bool v);
  bool CaseSensitive() const { return FCaseSensitive; }
  void SetCaseSensitive(bool v);
  TDuplicates Duplicates() const { return FDuplicates; }
  void SetDuplicates(TDuplicates d) { FDuplicates = d; }
  void Sort();

  void LoadFromFile(const std::string& fileName);
  void SaveToFile(const std::string& fileName) const;

 private:
  int Compare(const std::string& a, const std::string& b) const;
  TStringListCore<std::string> FItems;
  bool FSorted = false;
  bool FCaseSensitive = false;
  TDuplicates FDuplicates = TDuplicates::dupIgnore;
};

}  // namespace base
