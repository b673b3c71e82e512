#include "base/StringList.h"

#include <algorithm>

#include "base/Exceptions.h"
#include "base/Format.h"
#include "base/Stream.h"
#include "base/Strings.h"

namespace base {

void TStringList::Check(int index) const {
  if (index < 0 || index >= Count()) throw EStringListError(Format("List index out of bounds (%d)", index));
}

const std::string& TStringList::Get(int index) const {
  Check(index);
  return FItems[static_cast<size_t>(index)].S;
}

void TStringList::Put(int index, const std::string& s) {
  if (FSorted) throw EStringListError("Operation not allowed on sorted list");
  Check(index);
  FItems[static_cast<size_t>(index)].S = s;
}

TObject* TStringList::GetObject(int index) const {
  Check(index);
  return FItems[static_cast<size_t>(index)].Object;
}

void TStringList::PutObject(int index, TObject* object) {
  Check(index);
  FItems[static_cast<size_t>(index)].Object = object;
}

int TStringList::Compare(const std::string& a, const std::string& b) const {
  if (FCaseSensitive) return a.compare(b);
  return UpperCase(a).compare(UpperCase(b));
}

bool TStringList::Find(const std::string& s, int& index) const {
  int lo = 0, hi = Count() - 1;
  bool found = false;
  while (lo <= hi) {
    int mid = (lo + hi) / 2;
    int c = Compare(FItems[static_cast<size_t>(mid)].S, s);
    if (c < 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
      if (c == 0) {
        found = true;
        if (FDuplicates != TDuplicates::dupAccept) lo = mid;
      }
    }
  }
  index = lo;
  return found;
}

int TStringList::Add(const std::string& s, TObject* object) {
  int index = Count();
  if (FSorted) {
    if (Find(s, index)) {
      if (FDuplicates == TDuplicates::dupIgnore) return index;
      if (FDuplicates == TDuplicates::dupError) throw EStringListError("String list does not allow duplicates");
    }
  }
  FItems.insert(FItems.begin() + index, Item{s, object});
  return index;
}

void TStringList::Insert(int index, const std::string& s, TObject* object) {
  if (FSorted) throw EStringListError("Operation not allowed on sorted list");
  if (index < 0 || index > Count()) throw EStringListError(Format("List index out of bounds (%d)", index));
  FItems.insert(FItems.begin() + index, Item{s, object});
}

void TStringList::Delete(int index) {
  Check(index);
  FItems.erase(FItems.begin() + index);
}

int TStringList::IndexOf(const std::string& s) const {
  if (FSorted) {
    int i;
    return Find(s, i) ? i : -1;
  }
  for (int i = 0; i < Count(); ++i)
    if (Compare(FItems[static_cast<size_t>(i)].S, s) == 0) return i;
  return -1;
}

int TStringList::IndexOfName(const std::string& name) const {
  for (int i = 0; i < Count(); ++i) {
    const std::string& s = FItems[static_cast<size_t>(i)].S;
    size_t eq = s.find('=');
    if (eq != std::string::npos && Compare(s.substr(0, eq), name) == 0) return i;
  }
  return -1;
}

std::string TStringList::Text() const {
  std::string out;
  for (const Item& it : FItems) out.append(it.S).append("\r\n");
  return out;
}

void TStringList::SetText(const std::string& text) {
  Clear();
  size_t i = 0;
  while (i < text.size()) {
    size_t j = i;
    while (j < text.size() && text[j] != '\r' && text[j] != '\n') ++j;
    Add(text.substr(i, j - i));
    if (j < text.size() && text[j] == '\r') ++j;
    if (j < text.size() && text[j] == '\n') ++j;
    i = j;
  }
}

std::string TStringList::Names(int index) const {
  const std::string& s = Get(index);
  size_t eq = s.find('=');
  return eq == std::string::npos ? std::string() : s.substr(0, eq);
}

std::string TStringList::ValueFromIndex(int index) const {
  const std::string& s = Get(index);
  size_t eq = s.find('=');
  return eq == std::string::npos ? std::string() : s.substr(eq + 1);
}

std::string TStringList::Values(const std::string& name) const {
  int i = IndexOfName(name);
  return i < 0 ? std::string() : ValueFromIndex(i);
}

void TStringList::SetValue(const std::string& name, const std::string& value) {
  int i = IndexOfName(name);
  if (value.empty()) {
    if (i >= 0) Delete(i);
    return;
  }
  if (i < 0)
    Add(name + "=" + value);
  else
    FItems[static_cast<size_t>(i)].S = name + "=" + value;
}

void TStringList::Sort() {
  std::stable_sort(FItems.begin(), FItems.end(),
                   [this](const Item& a, const Item& b) { return Compare(a.S, b.S) < 0; });
}

void TStringList::SetSorted(bool v) {
  if (v && !FSorted) Sort();
  FSorted = v;
}

void TStringList::SetCaseSensitive(bool v) {
  FCaseSensitive = v;
  if (FSorted) Sort();
}

void TStringList::LoadFromFile(const std::string& fileName) {
  TFileStream f(fileName, platform::fmOpenRead | platform::fmShareDenyWrite);
  TStringStream s;
  s.CopyFrom(f, 0);
  SetText(s.DataString());
}

void TStringList::SaveToFile(const std::string& fileName) const {
  TFileStream f(fileName, fmCreate);
  std::string t = Text();
  f.WriteBuffer(t.data(), static_cast<int32_t>(t.size()));
}

}  // namespace base
