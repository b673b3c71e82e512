// The 8-bit TStringList and the UTF-16 TWideStringList side by side, where equal strings
// meet: which of them a sorted search lands on, where a sort leaves them, what Add does
// with one, and how name=value lines are found and changed. The two lists differ on
// purpose in places (noted per row); both share one core, and these rows keep either
// from drifting towards the other.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "base/Exceptions.h"
#include "base/StringList.h"
#include "base/Strings.h"
#include "text/WideStrings.h"

using base::TDuplicates;
using base::TStringList;
using text::TWideStringList;

namespace {

// "a b c" -> {"a", "b", "c"}; with '|' as the separator items may hold blanks.
std::vector<std::string> Split(const std::string& text, char separator = ' ') {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string item; std::getline(in, item, separator);) out.push_back(item);
  return out;
}

std::string Narrow(const std::string& s) { return s; }
std::string Narrow(const base::WideString& s) { return base::WideToUtf8(s); }

template <class List>
std::string Joined(const List& l, char separator = ' ') {
  std::string out;
  for (int i = 0; i < l.Count(); ++i) {
    if (i) out += separator;
    out += Narrow(l[i]);
  }
  return out;
}

// What one list does with a probe: the order after sorting, the sorted search's answer
// (found: the index, otherwise -1 - the insert position), and Add's index (-1 for the
// duplicates error) with the order after it.
struct TListOutcome {
  const char* Sorted;
  int Find;
  int Add;
  const char* AfterAdd;
};

struct TEqualsCase {
  const char* Items;  // added to an unsorted list, which is then sorted
  TDuplicates Mode;
  bool CaseSensitive;
  const char* Probe;
  TListOutcome Ansi, Wide;
};

constexpr TDuplicates kIgnore = TDuplicates::dupIgnore, kAccept = TDuplicates::dupAccept,
                      kError = TDuplicates::dupError;

// The 8-bit list sorts stably and, unless it accepts duplicates, its search stops at the
// first equal string the halving meets; the UTF-16 list always finds the first of equal
// strings. Case-sensitively the 8-bit list orders by bytes (upper case first), the
// UTF-16 list as the system collates (letters together, lower case first).
const TEqualsCase kEqualsCases[] = {
    {"c b B a b", kIgnore, false, "b", {"a b B b c", 2, 2, "a b B b c"}, {"a b B b c", 1, 1, "a b B b c"}},
    {"c b B a b", kAccept, false, "b", {"a b B b c", 1, 1, "a b b B b c"}, {"a b B b c", 1, 1, "a b b B b c"}},
    {"c b B a b", kError, false, "b", {"a b B b c", 2, -1, "a b B b c"}, {"a b B b c", 1, -1, "a b B b c"}},
    {"a A a A a a a",
     kIgnore,
     false,
     "A",
     {"a A a A a a a", 3, 3, "a A a A a a a"},
     {"a a a A a A a", 0, 0, "a a a A a A a"}},
    {"a A a A a a a",
     kAccept,
     false,
     "A",
     {"a A a A a a a", 0, 0, "A a A a A a a a"},
     {"a a a A a A a", 0, 0, "A a a a A a A a"}},
    {"b B a A", kIgnore, true, "B", {"A B a b", 1, 1, "A B a b"}, {"a A b B", 3, 3, "a A b B"}},
    {"b B a A b", kAccept, true, "b", {"A B a b b", 3, 3, "A B a b b b"}, {"a A b b B", 2, 2, "a A b b b B"}},
    {"a c", kIgnore, false, "b", {"a c", -2, 1, "a b c"}, {"a c", -2, 1, "a b c"}},
    {"C a B", kIgnore, true, "b", {"B C a", -4, 3, "B C a b"}, {"a B C", -2, 1, "a b B C"}},
    {"", kError, false, "x", {"", -1, 0, "x"}, {"", -1, 0, "x"}},
};

template <class List, class String>
void Play(List& l, const TEqualsCase& c, const TListOutcome& expected, String (*convert)(std::string_view)) {
  l.SetDuplicates(c.Mode);
  l.SetCaseSensitive(c.CaseSensitive);
  for (const std::string& item : Split(c.Items)) l.Add(convert(item));
  l.SetSorted(true);
  EXPECT_EQ(Joined(l), expected.Sorted);
  int index = -7;
  bool found = l.Find(convert(c.Probe), index);
  EXPECT_EQ(found ? index : -1 - index, expected.Find);
  EXPECT_EQ(l.IndexOf(convert(c.Probe)), found ? index : -1);
  int added = -1;
  try {
    added = l.Add(convert(c.Probe));
  } catch (const base::EStringListError& e) {
    EXPECT_EQ(e.Message(), "String list does not allow duplicates");
  }
  EXPECT_EQ(added, expected.Add);
  EXPECT_EQ(Joined(l), expected.AfterAdd);
}

// The UTF-16 list calls its sorted search Search; Find here keeps one Play for both.
struct TWideList : TWideStringList {
  bool Find(const base::WideString& s, int& index) const { return Search(s, index); }
};

std::string AsIs(std::string_view s) { return std::string(s); }
base::WideString Widened(std::string_view s) { return base::Utf8ToWide(s); }

TEST(StringLists, EqualStringsInSortedLists) {
  for (const TEqualsCase& c : kEqualsCases) {
    SCOPED_TRACE(std::string(c.Items) + " / " + c.Probe + " mode " + std::to_string(static_cast<int>(c.Mode)) +
                 (c.CaseSensitive ? " case-sensitive" : ""));
    {
      SCOPED_TRACE("8-bit");
      TStringList l;
      Play(l, c, c.Ansi, &AsIs);
    }
    {
      SCOPED_TRACE("UTF-16");
      TWideList l;
      Play(l, c, c.Wide, &Widened);
    }
  }
}

// Without regard to case, the 8-bit list folds ASCII letters only; the UTF-16 list folds
// every letter the system knows.
TEST(StringLists, CaseFoldingReach) {
  TStringList a;
  a.Add("\xC3\xA9t\xC3\xA9");  // "été" in UTF-8
  EXPECT_EQ(a.IndexOf("\xC3\x89T\xC3\x89"), -1);
  EXPECT_EQ(a.IndexOf("\xC3\xA9T\xC3\xA9"), 0);
  TWideStringList w;
  w.Add(u"\u00E9t\u00E9");
  EXPECT_EQ(w.IndexOf(u"\u00C9T\u00C9"), 0);
}

struct TNameCase {
  const char* Items;  // '|' between items
  bool CaseSensitive;
  const char* Name;
  int IndexOfName;
  const char* Value;
};

// Both lists: the first item whose part before the first '=' equals the name, by the
// list's case rule; no trimming; items without '=' have no name.
const TNameCase kNameCases[] = {
    {"k=1|K=2", false, "K", 0, "1"}, {"k=1|K=2", true, "K", 1, "2"},  {"k|k=", false, "k", 1, ""},
    {"=x|y=1", false, "", 0, "x"},   {"a=b=c", false, "A", 0, "b=c"}, {"a b=c", false, "a b", 0, "c"},
    {"ab=1|a", false, "a", -1, ""},  {" k=1", false, "k", -1, ""},
};

TEST(StringLists, NameValueLookup) {
  for (const TNameCase& c : kNameCases) {
    SCOPED_TRACE(std::string(c.Items) + " / " + c.Name);
    TStringList a;
    TWideStringList w;
    a.SetCaseSensitive(c.CaseSensitive);
    w.SetCaseSensitive(c.CaseSensitive);
    for (const std::string& item : Split(c.Items, '|')) {
      a.Add(item);
      w.Add(base::Utf8ToWide(item));
    }
    EXPECT_EQ(a.IndexOfName(c.Name), c.IndexOfName);
    EXPECT_EQ(w.IndexOfName(base::Utf8ToWide(c.Name)), c.IndexOfName);
    EXPECT_EQ(a.Values(c.Name), c.Value);
    EXPECT_EQ(w.Values(base::Utf8ToWide(c.Name)), base::Utf8ToWide(c.Value));
    for (int i = 0; i < a.Count(); ++i) {
      EXPECT_EQ(base::Utf8ToWide(a.Names(i)), w.Names(i)) << i;
      EXPECT_EQ(base::Utf8ToWide(a.ValueFromIndex(i)), w.ValueFromIndex(i)) << i;
    }
  }
}

struct TSetValueCase {
  const char* Items;
  bool Sorted;
  const char* Name;
  const char* Value;
  const char* Ansi;  // the items after, '|' between them
  const char* Wide;  // ditto; "error: " and the items when the change raises
};

// An unsorted list changes in place or appends; a sorted list adds a new line at its
// sorted place. A sorted 8-bit list changes an existing line in place, while a sorted
// UTF-16 list refuses to (its Put is refused on sorted lists) and stays as it was.
const TSetValueCase kSetValueCases[] = {
    {"b=1|a=2", false, "A", "9", "b=1|A=9", "b=1|A=9"},
    {"b=1|a=2", false, "c", "3", "b=1|a=2|c=3", "b=1|a=2|c=3"},
    {"b=1|a=2|a=3", false, "a", "", "b=1|a=3", "b=1|a=3"},
    {"b=1|a=2", false, "x", "", "b=1|a=2", "b=1|a=2"},
    {"b=1|d=2", true, "c", "3", "b=1|c=3|d=2", "b=1|c=3|d=2"},
    {"b=1|d=2", true, "B", "9", "B=9|d=2", "error: b=1|d=2"},
    {"b=1|d=2", true, "b", "", "d=2", "d=2"},
};

TEST(StringLists, SetValue) {
  for (const TSetValueCase& c : kSetValueCases) {
    SCOPED_TRACE(std::string(c.Items) + " / " + c.Name + "=" + c.Value);
    TStringList a;
    TWideStringList w;
    for (const std::string& item : Split(c.Items, '|')) {
      a.Add(item);
      w.Add(base::Utf8ToWide(item));
    }
    a.SetSorted(c.Sorted);
    w.SetSorted(c.Sorted);
    a.SetValue(c.Name, c.Value);
    EXPECT_EQ(Joined(a, '|'), c.Ansi);
    std::string wide;
    try {
      w.SetValues(base::Utf8ToWide(c.Name), base::Utf8ToWide(c.Value));
      wide = Joined(w, '|');
    } catch (const base::EStringListError& e) {
      EXPECT_EQ(e.Message(), "Operation not allowed on sorted list");
      wide = "error: " + Joined(w, '|');
    }
    EXPECT_EQ(wide, c.Wide);
  }
}

}  // namespace
