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
  return base::IndexOfItemName(*this, name, NameValueSeparator(),
                               [this](const WideString& a, const WideString& b) { return CompareStrings(a, b); });
}

WideString TWideStrings::Names(int index) const { return base::NameOfItem(Get(index), NameValueSeparator()); }

WideString TWideStrings::Values(const WideString& name) const {
  int i = IndexOfName(name);
  return i < 0 ? WideString() : ValueFromIndex(i);
}

WideString TWideStrings::ValueFromIndex(int index) const { return base::ValueOfItem(Get(index), NameValueSeparator()); }

void TWideStrings::SetValues(const WideString& name, const WideString& value) {
  int i = IndexOfName(name);
  if (!value.empty()) {
    // A new name is added whole, so a sorted list takes it at its place and a refused
    // change never leaves an empty line behind.
    if (i < 0)
      Add(name + NameValueSeparator() + value);
    else
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
  base::ForEachLine(text, end == WideString::npos ? text.size() : end, [this](const WideString& line) { Add(line); });
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

char16_t TWideStrings::Delimiter() const { return Defined(sdDelimiter, FDelimiter); }
void TWideStrings::SetDelimiter(char16_t c) { Define(sdDelimiter, FDelimiter, c); }
char16_t TWideStrings::QuoteChar() const { return Defined(sdQuoteChar, FQuoteChar); }
void TWideStrings::SetQuoteChar(char16_t c) { Define(sdQuoteChar, FQuoteChar, c); }
char16_t TWideStrings::NameValueSeparator() const { return Defined(sdNameValueSeparator, FNameValueSeparator); }
void TWideStrings::SetNameValueSeparator(char16_t c) { Define(sdNameValueSeparator, FNameValueSeparator, c); }
WideString TWideStrings::LineBreak() const { return Defined(sdLineBreak, FLineBreak); }
void TWideStrings::SetLineBreak(const WideString& s) { Define(sdLineBreak, FLineBreak, s); }

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

WideString TWideStringList::Get(int index) const {
  FList.CheckIndex(index);
  return FList[index].S;
}

void TWideStringList::Put(int index, const WideString& s) {
  if (FSorted) throw base::EStringListError("Operation not allowed on sorted list");
  FList.CheckIndex(index);
  Changing();
  FList[index].S = s;
  Changed();
}

TObject* TWideStringList::GetObject(int index) const {
  FList.CheckIndex(index);
  return FList[index].Object;
}

void TWideStringList::PutObject(int index, TObject* object) {
  FList.CheckIndex(index);
  Changing();
  FList[index].Object = object;
  Changed();
}

void TWideStringList::InsertItem(int index, const WideString& s, TObject* object) {
  Changing();
  FList.Insert(index, s, object);
  Changed();
}

void TWideStringList::Insert(int index, const WideString& s) {
  if (FSorted) throw base::EStringListError("Operation not allowed on sorted list");
  if (index < 0 || index > Count()) Error("List index out of bounds (%d)", index);
  InsertItem(index, s, nullptr);
}

void TWideStringList::Delete(int index) {
  FList.CheckIndex(index);
  Changing();
  FList.Delete(index);
  Changed();
}

void TWideStringList::Clear() {
  if (Count() == 0) return;
  Changing();
  FList.Clear();
  Changed();
}

int TWideStringList::Add(const WideString& s) {
  int index = Count();
  if (!FList.PlaceForAdd(FSorted, FDuplicates, index, [&](int& at) { return Search(s, at); })) return index;
  InsertItem(index, s, nullptr);
  return index;
}

void TWideStringList::Exchange(int index1, int index2) {
  FList.CheckIndex(index1);
  FList.CheckIndex(index2);
  Changing();
  FList.Exchange(index1, index2);
  Changed();
}

int TWideStringList::CompareStrings(const WideString& a, const WideString& b) const {
  return platform::CompareWideText(a, b, !FCaseSensitive);
}

// Always the first of equal strings, so IndexOf agrees with an unsorted list and a
// duplicate goes in front of its equals.
bool TWideStringList::Search(const WideString& s, int& index) const {
  return FList.Search(s, index, base::TEqualPick::First,
                      [this](const WideString& a, const WideString& b) { return CompareStrings(a, b); });
}

int TWideStringList::IndexOf(const WideString& s) const {
  if (!FSorted) return TWideStrings::IndexOf(s);
  int index;
  return Search(s, index) ? index : -1;
}

void TWideStringList::CustomSort(TWideStringListSortCompare compare) {
  if (FSorted || Count() < 2) return;
  Changing();
  FList.QuickSort(0, Count() - 1, [&](int a, int b) { return compare(*this, a, b); });
  Changed();
}

void TWideStringList::Sort() {
  if (FSorted || Count() < 2) return;
  Changing();
  FList.QuickSort(0, Count() - 1, [this](int a, int b) { return CompareStrings(FList[a].S, FList[b].S); });
  Changed();
}

void TWideStringList::SetCapacity(int capacity) {
  if (capacity < Count()) Error("List capacity out of bounds (%d)", capacity);
  FList.Reserve(static_cast<size_t>(capacity));
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
