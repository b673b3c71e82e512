#include "base/StringList.h"

#include "base/Exceptions.h"
#include "base/Format.h"
#include "base/Stream.h"
#include "base/Strings.h"

namespace base {

const std::string& TStringList::Get(int index) const {
  FItems.CheckIndex(index);
  return FItems[index].S;
}

void TStringList::Put(int index, const std::string& s) {
  if (FSorted) throw EStringListError("Operation not allowed on sorted list");
  FItems.CheckIndex(index);
  FItems[index].S = s;
}

TObject* TStringList::GetObject(int index) const {
  FItems.CheckIndex(index);
  return FItems[index].Object;
}

void TStringList::PutObject(int index, TObject* object) {
  FItems.CheckIndex(index);
  FItems[index].Object = object;
}

// Bytes compare unsigned; without regard to case, ASCII letters only are folded.
int TStringList::Compare(const std::string& a, const std::string& b) const {
  if (FCaseSensitive) return a.compare(b);
  return UpperCase(a).compare(UpperCase(b));
}

bool TStringList::Find(const std::string& s, int& index) const {
  TEqualPick pick = FDuplicates == TDuplicates::dupAccept ? TEqualPick::First : TEqualPick::FirstMet;
  return FItems.Search(s, index, pick, [this](const std::string& a, const std::string& b) { return Compare(a, b); });
}

int TStringList::Add(const std::string& s, TObject* object) {
  int index = Count();
  if (FItems.PlaceForAdd(FSorted, FDuplicates, index, [&](int& at) { return Find(s, at); }))
    FItems.Insert(index, s, object);
  return index;
}

void TStringList::Insert(int index, const std::string& s, TObject* object) {
  if (FSorted) throw EStringListError("Operation not allowed on sorted list");
  if (index < 0 || index > Count()) throw EStringListError(Format("List index out of bounds (%d)", index));
  FItems.Insert(index, s, object);
}

void TStringList::Delete(int index) {
  FItems.CheckIndex(index);
  FItems.Delete(index);
}

int TStringList::IndexOf(const std::string& s) const {
  if (FSorted) {
    int i;
    return Find(s, i) ? i : -1;
  }
  for (int i = 0; i < Count(); ++i)
    if (Compare(FItems[i].S, s) == 0) return i;
  return -1;
}

int TStringList::IndexOfName(const std::string& name) const {
  return IndexOfItemName(*this, name, '=',
                         [this](const std::string& a, const std::string& b) { return Compare(a, b); });
}

std::string TStringList::Text() const {
  std::string out;
  for (int i = 0; i < Count(); ++i) out.append(FItems[i].S).append("\r\n");
  return out;
}

void TStringList::SetText(const std::string& text) {
  Clear();
  ForEachLine(text, text.size(), [this](const std::string& line) { Add(line); });
}

std::string TStringList::Names(int index) const { return NameOfItem(Get(index), '='); }

std::string TStringList::ValueFromIndex(int index) const { return ValueOfItem(Get(index), '='); }

std::string TStringList::Values(const std::string& name) const {
  int i = IndexOfName(name);
  return i < 0 ? std::string() : ValueFromIndex(i);
}

// An existing line changes in place, in a sorted list too: only its value changes, which
// could put it out of order among lines of the same name only.
void TStringList::SetValue(const std::string& name, const std::string& value) {
  int i = IndexOfName(name);
  if (value.empty()) {
    if (i >= 0) Delete(i);
    return;
  }
  if (i < 0)
    Add(name + "=" + value);
  else
    FItems[i].S = name + "=" + value;
}

void TStringList::Sort() {
  FItems.StableSort([this](const std::string& a, const std::string& b) { return Compare(a, b); });
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
