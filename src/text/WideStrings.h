// TWideStrings and TWideStringList: the UTF-16 counterparts of the library's 8-bit string
// list. An ordered list of UTF-16 strings, each with an optional object reference (not
// owned), with name=value access, whole-text and delimited forms, optional sorting and
// loading and saving. Strings compare with the system's locale-aware comparison, without
// regard to case unless a list is made case-sensitive. Index errors raise
// EStringListError "List index out of bounds (%d)".
#pragma once

#include <string>
#include <vector>

#include "base/Object.h"
#include "base/Stream.h"
#include "base/StringList.h"
#include "base/StringListCore.h"
#include "base/Strings.h"

namespace text {

using base::TDuplicates;
using base::TObject;
using base::WideString;

class TWideStrings : public TObject {
 public:
  // Bits of the separators that were set explicitly.
  enum : uint8_t { sdDelimiter = 1, sdQuoteChar = 2, sdNameValueSeparator = 4, sdLineBreak = 8 };

  virtual int Count() const = 0;
  virtual WideString Get(int index) const = 0;
  WideString operator[](int index) const { return Get(index); }
  virtual void Put(int index, const WideString& s);
  virtual TObject* GetObject(int index) const;
  virtual void PutObject(int index, TObject* object);
  virtual void Insert(int index, const WideString& s) = 0;
  void InsertObject(int index, const WideString& s, TObject* object);
  virtual void Delete(int index) = 0;
  virtual void Clear() = 0;
  virtual int Add(const WideString& s);
  int AddObject(const WideString& s, TObject* object);
  void Append(const WideString& s) { Add(s); }
  void AddStrings(const TWideStrings& strings);
  void AddStrings(const base::TStringList& strings);  // converted with the system code page
  virtual void Exchange(int index1, int index2);
  virtual void Move(int curIndex, int newIndex);

  virtual void Assign(const TWideStrings& source);
  void Assign(const base::TStringList& source);
  void AssignTo(base::TStringList& dest) const;
  // Item by item, ordinal equality.
  bool Equals(const TWideStrings& other) const;

  virtual int IndexOf(const WideString& s) const;
  int IndexOfObject(const TObject* object) const;
  // The first item whose part before the name-value separator compares equal to name;
  // items without a separator are skipped.
  int IndexOfName(const WideString& name) const;

  WideString Names(int index) const;
  WideString Values(const WideString& name) const;
  // Sets name=value, appending when missing; an empty value deletes the item.
  void SetValues(const WideString& name, const WideString& value);
  WideString ValueFromIndex(int index) const;

  // Every item followed by CR LF. The setter cuts at CR LF, CR, LF and U+0000.
  virtual WideString Text() const;
  virtual void SetText(const WideString& text);
  // Items joined by Delimiter, quoted with QuoteChar when they hold a blank, a control
  // character, the quote or the delimiter. The setter also splits at blanks outside
  // quotes.
  WideString DelimitedText() const;
  void SetDelimitedText(const WideString& text);
  // DelimitedText with "," and '"'.
  WideString CommaText() const;
  void SetCommaText(const WideString& text);

  char16_t Delimiter() const;
  void SetDelimiter(char16_t c);
  char16_t QuoteChar() const;
  void SetQuoteChar(char16_t c);
  char16_t NameValueSeparator() const;
  void SetNameValueSeparator(char16_t c);
  WideString LineBreak() const;
  void SetLineBreak(const WideString& s);

  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return FUpdateCount; }

  // From the stream's position to its end, through the text stream: a byte order mark
  // selects UTF-16LE, UTF-16BE, UTF-8 or UTF-32LE and is dropped; text without a mark
  // is UTF-16LE.
  virtual void LoadFromStream(base::TStream& stream);
  // The Text as UTF-16LE without a byte order mark.
  virtual void SaveToStream(base::TStream& stream) const;
  // By UTF-16 name: loading shares the file for reading only, saving creates it.
  void LoadFromFile(const WideString& fileName);
  void SaveToFile(const WideString& fileName) const;

  // Locale-aware comparison without regard to case.
  virtual int CompareStrings(const WideString& a, const WideString& b) const;

 protected:
  virtual void SetUpdateState(bool /*updating*/) {}
  void Error(const char* message, int index) const;

 private:
  // A separator's value; reading or writing one marks it as set.
  template <class T>
  const T& Defined(uint8_t bit, const T& value) const {
    FDefined |= bit;
    return value;
  }
  template <class T>
  void Define(uint8_t bit, T& field, const T& value) {
    FDefined |= bit;
    field = value;
  }
  WideString QuotedItem(const WideString& s, char16_t delimiter, char16_t quote) const;
  void SetDelimited(const WideString& text, char16_t delimiter, char16_t quote);

  mutable uint8_t FDefined = 0;  // each separator counts as set once it has been read
  char16_t FDelimiter = u',';
  char16_t FQuoteChar = u'"';
  char16_t FNameValueSeparator = u'=';
  WideString FLineBreak = u"\r\n";
  int FUpdateCount = 0;
};

using TWideStringListSortCompare = int (*)(const class TWideStringList& list, int index1, int index2);

class TWideStringList : public TWideStrings {
 public:
  ~TWideStringList() override = default;

  int Count() const override { return FList.Count(); }
  WideString Get(int index) const override;
  void Put(int index, const WideString& s) override;
  TObject* GetObject(int index) const override;
  void PutObject(int index, TObject* object) override;
  void Insert(int index, const WideString& s) override;
  void Delete(int index) override;
  void Clear() override;
  int Add(const WideString& s) override;
  void Exchange(int index1, int index2) override;
  int IndexOf(const WideString& s) const override;

  // Sorted lists: true when an equal string is there, with index at the first of equal
  // strings; otherwise false with index at the place it would be inserted.
  virtual bool Search(const WideString& s, int& index) const;
  virtual void Sort();
  virtual void CustomSort(TWideStringListSortCompare compare);

  int Capacity() const { return static_cast<int>(FList.Capacity()); }
  void SetCapacity(int capacity);
  bool Sorted() const { return FSorted; }
  void SetSorted(bool sorted);
  TDuplicates Duplicates() const { return FDuplicates; }
  void SetDuplicates(TDuplicates d) { FDuplicates = d; }
  bool CaseSensitive() const { return FCaseSensitive; }
  void SetCaseSensitive(bool caseSensitive);

  int CompareStrings(const WideString& a, const WideString& b) const override;

  base::TNotifyEvent OnChange;
  base::TNotifyEvent OnChanging;

 protected:
  virtual void Changed();
  virtual void Changing();
  void SetUpdateState(bool updating) override;
  void InsertItem(int index, const WideString& s, TObject* object);

 private:
  base::TStringListCore<WideString> FList;
  bool FSorted = false;
  TDuplicates FDuplicates = TDuplicates::dupIgnore;
  bool FCaseSensitive = false;
};

}  // namespace text
