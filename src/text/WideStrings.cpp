#include "text/WideStrings.h"

#include <algorithm>

#include "base/Exceptions.h"
#include "base/Format.h"
#include "platform/TextCodec.h"
#include "text/TextStreams.h"
#include "text/WideFileStream.h"

namespace text {
namespace {

// BeginUpdate ... EndUpdate around a scope, also when it is left by an exception.
class TUpdateBracket {
 public:
  explicit TUpdateBracket(TWideStrings& strings) : FStrings(strings) { FStrings.BeginUpdate(); }
  ~TUpdateBracket() noexcept(false) { FStrings.EndUpdate(); }
  TUpdateBracket(const TUpdateBracket&) = delete;
  TUpdateBracket& operator=(const TUpdateBracket&) = delete;

 private:
  TWideStrings& FStrings;
};

}  // namespace

// --- TWideStrings --------------------------------------------------------------------

void TWideStrings::Error(const char* message, int index) const {
  throw base::EStringListError(base::Format(message, index));
}

void TWideStrings::Put(int index, const WideString& s) {
  TObject* object = GetObject(index);
  Delete(index);
  InsertObject(index, s, object);
}

TObject* TWideStrings::GetObject(int) const { return nullptr; }
void TWideStrings::PutObject(int, TObject*) {}

void TWideStrings::InsertObject(int index, const WideString& s, TObject* object) {
  Insert(index, s);
  PutObject(index, object);
}

int TWideStrings::Add(const WideString& s) {
  int index = Count();
  Insert(index, s);
  return index;
}

int TWideStrings::AddObject(const WideString& s, TObject* object) {
  int index = Add(s);
  PutObject(index, object);
  return index;
}

void TWideStrings::AddStrings(const TWideStrings& strings) {
  TUpdateBracket bracket(*this);
  for (int i = 0; i < strings.Count(); ++i) AddObject(strings.Get(i), strings.GetObject(i));
}

void TWideStrings::AddStrings(const base::TStringList& strings) {
  TUpdateBracket bracket(*this);
  for (int i = 0; i < strings.Count(); ++i) AddObject(base::AnsiToWide(strings.Get(i)), strings.GetObject(i));
}

void TWideStrings::Exchange(int index1, int index2) {
  TUpdateBracket bracket(*this);
  WideString s = Get(index1);
  TObject* o = GetObject(index1);
  Put(index1, Get(index2));
  PutObject(index1, GetObject(index2));
  Put(index2, s);
  PutObject(index2, o);
}

void TWideStrings::Move(int curIndex, int newIndex) {
  if (curIndex == newIndex) return;
  TUpdateBracket bracket(*this);
  WideString s = Get(curIndex);
  TObject* o = GetObject(curIndex);
  Delete(curIndex);
  InsertObject(newIndex, s, o);
}

void TWideStrings::Assign(const TWideStrings& source) {
  if (&source == this) return;
  TUpdateBracket bracket(*this);
  Clear();
  FDefined = source.FDefined;
  FDelimiter = source.FDelimiter;
  FQuoteChar = source.FQuoteChar;
  FNameValueSeparator = source.FNameValueSeparator;
  FLineBreak = source.FLineBreak;
  AddStrings(source);
}

void TWideStrings::Assign(const base::TStringList& source) {
  TUpdateBracket bracket(*this);
  Clear();
  AddStrings(source);
}

void TWideStrings::AssignTo(base::TStringList& dest) const {
  dest.Clear();
  for (int i = 0; i < Count(); ++i) dest.Add(base::WideToAnsi(Get(i)), GetObject(i));
}

bool TWideStrings::Equals(const TWideStrings& other) const {
  if (Count() != other.Count()) return false;
  for (int i = 0; i < Count(); ++i)
    if (Get(i) != other.Get(i)) return false;
  return true;
}

int TWideStrings::CompareStrings(const WideString& a, const WideString& b) const {
  return platform::CompareWideText(a, b, true);
}

int TWideStrings::IndexOf(const WideString& s) const {
  for (int i = 0; i < Count(); ++i)
    if (CompareStrings(Get(i), s) == 0) return i;
  return -1;
}

int TWideStrings::IndexOfObject(const TObject* object) const {
  for (int i = 0; i < Count(); ++i)
    if (GetObject(i) == object) return i;
  return -1;
}

int TWideStrings::IndexOfName(const WideString& name) const {
  char16_t sep = NameValueSeparator();
  for (int i = 0; i < Count(); ++i) {
    WideString s = Get(i);
    size_t p = s.find(sep);
    if (p != WideString::npos && CompareStrings(s.substr(0, p), name) == 0) return i;
  }
  return -1;
}

WideString TWideStrings::Names(int index) const {
  WideString s = Get(index);
  size_t p = s.find(NameValueSeparator());
  return p == WideString::npos ? WideString() : s.substr(0, p);
}

WideString TWideStrings::Values(const WideString& name) const {
  int i = IndexOfName(name);
  return i < 0 ? WideString() : ValueFromIndex(i);
}

WideString TWideStrings::ValueFromIndex(int index) const {
  WideString s = Get(index);
  size_t p = s.find(NameValueSeparator());
  return p == WideString::npos ? WideString() : s.substr(p + 1);
}

void TWideStrings::SetValues(const WideString& name, const WideString& value) {
  int i = IndexOfName(name);
  if (!value.empty()) {
    if (i < 0) i = Add(WideString());
    Put(i, name + NameValueSeparator() + value);
  } else if (i >= 0) {
    Delete(i);
  }
}

WideString TWideStrings::Text() const {
  size_t size = 0;
  for (int i = 0; i < Count(); ++i) size += Get(i).size() + 2;
  WideString out;
  out.reserve(size);
  for (int i = 0; i < Count(); ++i) {
    out += Get(i);
    out += u"\r\n";
  }
  return out;
}

void TWideStrings::SetText(const WideString& text) {
  TUpdateBracket bracket(*this);
  Clear();
  size_t end = text.find(u'\0');
  if (end == WideString::npos) end = text.size();
  size_t i = 0;
  while (i < end) {
    size_t start = i;
    while (i < end && text[i] != u'\r' && text[i] != u'\n') ++i;
    Add(text.substr(start, i - start));
    if (i < end && text[i] == u'\r') ++i;
    if (i < end && text[i] == u'\n') ++i;
  }
}

WideString TWideStrings::QuotedItem(const WideString& s, char16_t delimiter, char16_t quote) const {
  bool needs = std::any_of(s.begin(), s.end(), [&](char16_t c) { return c <= u' ' || c == quote || c == delimiter; });
  if (!needs) return s;
  WideString out(1, quote);
  for (char16_t c : s) {
    out += c;
    if (c == quote) out += c;
  }
  out += quote;
  return out;
}

WideString TWideStrings::DelimitedText() const {
  char16_t delimiter = Delimiter(), quote = QuoteChar();
  if (Count() == 1 && Get(0).empty()) return WideString(2, quote);
  WideString out;
  for (int i = 0; i < Count(); ++i) {
    if (i) out += delimiter;
    out += QuotedItem(Get(i), delimiter, quote);
  }
  return out;
}

void TWideStrings::SetDelimited(const WideString& text, char16_t delimiter, char16_t quote) {
  TUpdateBracket bracket(*this);
  Clear();
  size_t i = 0, n = text.size();
  auto blank = [&](size_t k) { return k < n && text[k] >= 1 && text[k] <= u' '; };
  while (blank(i)) ++i;
  while (i < n && text[i] != u'\0') {
    WideString item;
    if (text[i] == quote) {
      ++i;
      while (i < n) {
        if (text[i] == quote) {
          if (i + 1 < n && text[i + 1] == quote) {
            item += quote;
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        item += text[i++];
      }
    } else {
      size_t start = i;
      while (i < n && text[i] > u' ' && text[i] != delimiter) ++i;
      item = text.substr(start, i - start);
    }
    Add(item);
    while (blank(i)) ++i;
    if (i < n && text[i] == delimiter) {
      if (i + 1 >= n || text[i + 1] == u'\0') Add(WideString());  // a trailing delimiter ends in an empty item
      do ++i;
      while (blank(i));
    }
  }
}

void TWideStrings::SetDelimitedText(const WideString& text) { SetDelimited(text, Delimiter(), QuoteChar()); }

WideString TWideStrings::CommaText() const {
  if (Count() == 1 && Get(0).empty()) return u"\"\"";
  WideString out;
  for (int i = 0; i < Count(); ++i) {
    if (i) out += u',';
    out += QuotedItem(Get(i), u',', u'"');
  }
  return out;
}

void TWideStrings::SetCommaText(const WideString& text) { SetDelimited(text, u',', u'"'); }

char16_t TWideStrings::Delimiter() const {
  FDefined |= sdDelimiter;
  return FDelimiter;
}
void TWideStrings::SetDelimiter(char16_t c) {
  FDefined |= sdDelimiter;
  FDelimiter = c;
}
char16_t TWideStrings::QuoteChar() const {
  FDefined |= sdQuoteChar;
  return FQuoteChar;
}
void TWideStrings::SetQuoteChar(char16_t c) {
  FDefined |= sdQuoteChar;
  FQuoteChar = c;
}
char16_t TWideStrings::NameValueSeparator() const {
  FDefined |= sdNameValueSeparator;
  return FNameValueSeparator;
}
void TWideStrings::SetNameValueSeparator(char16_t c) {
  FDefined |= sdNameValueSeparator;
  FNameValueSeparator = c;
}
WideString TWideStrings::LineBreak() const {
  FDefined |= sdLineBreak;
  return FLineBreak;
}
void TWideStrings::SetLineBreak(const WideString& s) {
  FDefined |= sdLineBreak;
  FLineBreak = s;
}

void TWideStrings::BeginUpdate() {
  if (FUpdateCount++ == 0) SetUpdateState(true);
}

void TWideStrings::EndUpdate() {
  if (FUpdateCount > 0 && --FUpdateCount == 0) SetUpdateState(false);
}

void TWideStrings::LoadFromStream(base::TStream& stream) {
  TUpdateBracket bracket(*this);
  TRkTextStream reader(&stream, kCodePageUtf16, 0, rkaRead);
  WideString text;
  char16_t chunk[4096];
  for (;;) {
    int32_t n = reader.Read(chunk, sizeof chunk);
    if (n <= 0) break;
    text.append(chunk, static_cast<size_t>(n) / 2);
  }
  SetText(text);
}

void TWideStrings::SaveToStream(base::TStream& stream) const {
  WideString text = Text();
  stream.WriteBuffer(text.data(), static_cast<int32_t>(text.size() * 2));
}

void TWideStrings::LoadFromFile(const WideString& fileName) {
  TWideFileStream f(fileName, platform::fmOpenRead | platform::fmShareDenyWrite);
  LoadFromStream(f);
}

void TWideStrings::SaveToFile(const WideString& fileName) const {
  TWideFileStream f(fileName, fmCreateWide);
  SaveToStream(f);
}

// --- TWideStringList -----------------------------------------------------------------

void TWideStringList::CheckIndex(int index) const {
  if (index < 0 || index >= Count()) Error("List index out of bounds (%d)", index);
}

WideString TWideStringList::Get(int index) const {
  CheckIndex(index);
  return FList[static_cast<size_t>(index)].FString;
}

void TWideStringList::Put(int index, const WideString& s) {
  if (FSorted) throw base::EStringListError("Operation not allowed on sorted list");
  CheckIndex(index);
  Changing();
  FList[static_cast<size_t>(index)].FString = s;
  Changed();
}

TObject* TWideStringList::GetObject(int index) const {
  CheckIndex(index);
  return FList[static_cast<size_t>(index)].FObject;
}

void TWideStringList::PutObject(int index, TObject* object) {
  CheckIndex(index);
  Changing();
  FList[static_cast<size_t>(index)].FObject = object;
  Changed();
}

void TWideStringList::InsertItem(int index, const WideString& s, TObject* object) {
  Changing();
  FList.insert(FList.begin() + index, TWideStringItem{s, object});
  Changed();
}

void TWideStringList::Insert(int index, const WideString& s) {
  if (FSorted) throw base::EStringListError("Operation not allowed on sorted list");
  if (index < 0 || index > Count()) Error("List index out of bounds (%d)", index);
  InsertItem(index, s, nullptr);
}

void TWideStringList::Delete(int index) {
  CheckIndex(index);
  Changing();
  FList.erase(FList.begin() + index);
  Changed();
}

void TWideStringList::Clear() {
  if (FList.empty()) return;
  Changing();
  FList.clear();
  Changed();
}

int TWideStringList::Add(const WideString& s) {
  int index = Count();
  if (FSorted && Search(s, index)) {
    if (FDuplicates == TDuplicates::dupIgnore) return index;
    if (FDuplicates == TDuplicates::dupError) throw base::EStringListError("String list does not allow duplicates");
  }
  InsertItem(index, s, nullptr);
  return index;
}

void TWideStringList::Exchange(int index1, int index2) {
  CheckIndex(index1);
  CheckIndex(index2);
  Changing();
  std::swap(FList[static_cast<size_t>(index1)], FList[static_cast<size_t>(index2)]);
  Changed();
}

int TWideStringList::CompareStrings(const WideString& a, const WideString& b) const {
  return platform::CompareWideText(a, b, !FCaseSensitive);
}

bool TWideStringList::Search(const WideString& s, int& index) const {
  // Always the first of equal strings, so IndexOf agrees with an unsorted list and a
  // duplicate goes in front of its equals.
  int lo = 0, hi = Count() - 1;
  bool found = false;
  while (lo <= hi) {
    int mid = (lo + hi) / 2;
    int c = CompareStrings(FList[static_cast<size_t>(mid)].FString, s);
    if (c < 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
      if (c == 0) found = true;
    }
  }
  index = lo;
  return found;
}

int TWideStringList::IndexOf(const WideString& s) const {
  if (!FSorted) return TWideStrings::IndexOf(s);
  int index;
  return Search(s, index) ? index : -1;
}

void TWideStringList::QuickSort(int lo, int hi, TWideStringListSortCompare compare) {
  while (lo < hi) {
    int i = lo, j = hi, p = (lo + hi) / 2;
    do {
      while (compare(*this, i, p) < 0) ++i;
      while (compare(*this, j, p) > 0) --j;
      if (i <= j) {
        if (i != j) std::swap(FList[static_cast<size_t>(i)], FList[static_cast<size_t>(j)]);
        if (p == i)
          p = j;
        else if (p == j)
          p = i;
        ++i;
        --j;
      }
    } while (i <= j);
    // Recurse into the smaller half, loop over the larger: bounded stack depth.
    if (j - lo < hi - i) {
      if (lo < j) QuickSort(lo, j, compare);
      lo = i;
    } else {
      if (i < hi) QuickSort(i, hi, compare);
      hi = j;
    }
  }
}

void TWideStringList::CustomSort(TWideStringListSortCompare compare) {
  if (FSorted || Count() < 2) return;
  Changing();
  QuickSort(0, Count() - 1, compare);
  Changed();
}

void TWideStringList::Sort() {
  if (FSorted || Count() < 2) return;
  Changing();
  QuickSort(0, Count() - 1, [](const TWideStringList& l, int a, int b) {
    return l.CompareStrings(l.FList[static_cast<size_t>(a)].FString, l.FList[static_cast<size_t>(b)].FString);
  });
  Changed();
}

void TWideStringList::SetCapacity(int capacity) {
  if (capacity < Count()) Error("List capacity out of bounds (%d)", capacity);
  FList.reserve(static_cast<size_t>(capacity));
}

void TWideStringList::SetSorted(bool sorted) {
  if (FSorted == sorted) return;
  if (sorted) Sort();
  FSorted = sorted;
}

void TWideStringList::SetCaseSensitive(bool caseSensitive) {
  if (FCaseSensitive == caseSensitive) return;
  FCaseSensitive = caseSensitive;
  if (FSorted) {
    FSorted = false;
    Sort();
    FSorted = true;
  }
}

void TWideStringList::Changed() {
  if (UpdateCount() == 0 && OnChange) OnChange(this);
}

void TWideStringList::Changing() {
  if (UpdateCount() == 0 && OnChanging) OnChanging(this);
}

void TWideStringList::SetUpdateState(bool updating) {
  if (updating)
    Changing();
  else
    Changed();
}

}  // namespace text
