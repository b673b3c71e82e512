#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TextTestSupport.h"
#include "base/Exceptions.h"
#include "base/Stream.h"
#include "base/Strings.h"
#include "support/TempDir.h"
#include "text/WideStrings.h"

using namespace text;
using Items = std::vector<std::u16string>;

namespace {

Items ItemsOf(const TWideStrings& l) {
  Items out;
  for (int i = 0; i < l.Count(); ++i) out.push_back(l[i]);
  return out;
}

TEST(WideStrings, TextSplitsAtEveryLineBreak) {
  const struct {
    std::u16string Text;
    Items Expected;
  } cases[] = {
      {u"a\r\nb\rc\n", {u"a", u"b", u"c"}},
      {u"", {}},
      {u"a", {u"a"}},
      {u"a\n\nb", {u"a", u"", u"b"}},
      {u"a\r\r\nb", {u"a", u"", u"b"}},
      {u"\r\n", {u""}},
      {u"\n\r", {u"", u""}},
      {std::u16string(u"a\0b\r\nc", 6), {u"a"}},  // U+0000 ends the text
  };
  for (const auto& c : cases) {
    TWideStringList l;
    l.SetText(c.Text);
    EXPECT_EQ(ItemsOf(l), c.Expected);
  }
  TWideStringList l;
  l.SetText(u"a\r\nb\rc\n");
  EXPECT_EQ(l.Text(), u"a\r\nb\r\nc\r\n");
}

// Sorted lists, case-insensitive: Search finds the first of equal strings and Add obeys
// the duplicates mode.
TEST(WideStrings, SortedSearchInEachDuplicatesMode) {
  for (TDuplicates mode : {TDuplicates::dupIgnore, TDuplicates::dupAccept, TDuplicates::dupError}) {
    SCOPED_TRACE(static_cast<int>(mode));
    TWideStringList l;
    l.SetDuplicates(mode);
    l.SetSorted(true);
    for (const char16_t* s : {u"pear", u"Abc", u"zebra", u"apple"}) l.Add(s);
    EXPECT_EQ(ItemsOf(l), (Items{u"Abc", u"apple", u"pear", u"zebra"}));
    int index = -1;
    EXPECT_TRUE(l.Search(u"aBC", index));
    EXPECT_EQ(index, 0);
    EXPECT_FALSE(l.Search(u"b", index));
    EXPECT_EQ(index, 2);

    switch (mode) {
      case TDuplicates::dupIgnore:
        EXPECT_EQ(l.Add(u"PEAR"), 2);
        EXPECT_EQ(l.Count(), 4);
        break;
      case TDuplicates::dupAccept:
        l.Add(u"PEAR");
        l.Add(u"Pear");
        EXPECT_EQ(l.Count(), 6);
        EXPECT_TRUE(l.Search(u"pear", index));
        EXPECT_EQ(index, 2);  // the first of the three
        EXPECT_EQ(l.IndexOf(u"pEAR"), 2);
        EXPECT_TRUE(l.Search(u"zebra", index));
        EXPECT_EQ(index, 5);
        break;
      case TDuplicates::dupError:
        try {
          l.Add(u"PEAR");
          ADD_FAILURE() << "no exception";
        } catch (const base::EStringListError& e) {
          EXPECT_EQ(e.Message(), "String list does not allow duplicates");
        }
        break;
    }
  }
  // Case-sensitive: "abc" and "Abc" are different strings.
  TWideStringList cs;
  cs.SetCaseSensitive(true);
  cs.SetSorted(true);
  cs.Add(u"Abc");
  int index;
  EXPECT_FALSE(cs.Search(u"abc", index));
  EXPECT_EQ(cs.Add(u"abc"), index);
  EXPECT_EQ(cs.Count(), 2);
  EXPECT_THROW(cs.Insert(0, u"x"), base::EStringListError);
}

TEST(WideStrings, SortOrdersByTheListsComparison) {
  TWideStringList l;
  for (const char16_t* s : {u"delta", u"Bravo", u"alpha", u"Charlie", u"echo", u"bravo", u"Alpha"}) l.Add(s);
  l.Sort();
  for (int i = 1; i < l.Count(); ++i) EXPECT_LE(l.CompareStrings(l[i - 1], l[i]), 0) << i;
  EXPECT_EQ(l.CompareStrings(l[0], u"ALPHA"), 0);
  EXPECT_EQ(l.CompareStrings(l[6], u"echo"), 0);
}

TEST(WideStrings, NamesValuesAndObjects) {
  TWideStringList l;
  l.Add(u"plain");
  l.Add(u"key=1");
  l.Add(u"other=x=y");
  EXPECT_EQ(l.IndexOfName(u"KEY"), 1);
  EXPECT_EQ(l.Values(u"Other"), u"x=y");
  EXPECT_EQ(l.Names(2), u"other");
  EXPECT_EQ(l.IndexOfName(u"plain"), -1);
  l.SetValues(u"new", u"2");
  EXPECT_EQ(l[3], u"new=2");
  l.SetValues(u"key", u"");
  EXPECT_EQ(l.IndexOfName(u"key"), -1);

  TWideStringList o;
  base::TObject a, b;
  o.AddObject(u"a", &a);
  o.AddObject(u"b", &b);
  o.Exchange(0, 1);
  EXPECT_EQ(o.GetObject(0), &b);
  EXPECT_EQ(o.IndexOfObject(&a), 1);
  o.Move(1, 0);
  EXPECT_EQ(ItemsOf(o), (Items{u"a", u"b"}));
  EXPECT_EQ(o.GetObject(0), &a);
  try {
    o.Get(2);
    ADD_FAILURE() << "no exception";
  } catch (const base::EStringListError& e) {
    EXPECT_EQ(e.Message(), "List index out of bounds (2)");
  }
}

TEST(WideStrings, DelimitedText) {
  const struct {
    std::u16string Text;
    Items Expected;
    std::u16string Back;
  } cases[] = {
      {u"a,b,c", {u"a", u"b", u"c"}, u"a,b,c"},
      {u"a,\"b c\",,\"d\"\"e\"", {u"a", u"b c", u"", u"d\"e"}, u"a,\"b c\",,\"d\"\"e\""},
      {u"a,", {u"a", u""}, u"a,"},
      {u"  a b ,c", {u"a", u"b", u"c"}, u"a,b,c"},  // blanks outside quotes separate too
      {u"\"\"", {u""}, u"\"\""},
      {u"", {}, u""},
  };
  for (const auto& c : cases) {
    TWideStringList l;
    l.SetCommaText(c.Text);
    EXPECT_EQ(ItemsOf(l), c.Expected);
    EXPECT_EQ(l.CommaText(), c.Back);
  }
  TWideStringList l;
  l.SetDelimiter(u';');
  l.SetQuoteChar(u'\'');
  l.SetDelimitedText(u"x;'y;z';w");
  EXPECT_EQ(ItemsOf(l), (Items{u"x", u"y;z", u"w"}));
  EXPECT_EQ(l.DelimitedText(), u"x;'y;z';w");
}

TEST(WideStrings, ChangeNotificationsAndUpdates) {
  struct Counter {
    int Changes = 0;
    void OnChange(base::TObject*) { ++Changes; }
  } counter;
  TWideStringList l;
  l.OnChange = base::Method<&Counter::OnChange>(&counter);
  l.Add(u"a");
  EXPECT_EQ(counter.Changes, 1);
  l.BeginUpdate();
  l.Add(u"b");
  l.Add(u"c");
  EXPECT_EQ(counter.Changes, 1);
  l.EndUpdate();
  EXPECT_EQ(counter.Changes, 2);
  l.SetText(u"x\r\ny");
  EXPECT_EQ(counter.Changes, 3);
}

TEST(WideStrings, SaveAndLoad) {
  TWideStringList l;
  l.Add(u"first");
  l.Add(u"\u041F\u0440\u0438\u0432\u0435\u0442 \U0001F600");
  l.Add(u"");
  base::TStringStream saved;
  l.SaveToStream(saved);
  EXPECT_EQ(saved.DataString().substr(0, 4), texttest::Bytes("66 00 69 00"));  // UTF-16LE, no mark
  saved.SetPosition(0);
  TWideStringList back;
  back.LoadFromStream(saved);
  EXPECT_TRUE(back.Equals(l));

  // A mark selects the encoding and is not part of the first item.
  const struct {
    const char* Bytes;
    Items Expected;
  } marked[] = {
      {"FF FE 61 00 0D 00 0A 00 62 00", {u"a", u"b"}},
      {"EF BB BF 61 0A C3 A9", {u"a", u"\u00E9"}},
      {"FE FF 00 61 00 0A 00 62", {u"a", u"b"}},
  };
  for (const auto& m : marked) {
    base::TStringStream in(texttest::Bytes(m.Bytes));
    TWideStringList x;
    x.LoadFromStream(in);
    EXPECT_EQ(ItemsOf(x), m.Expected) << m.Bytes;
  }

  testsupport::TempDir dir;
  std::u16string name = base::AnsiToWide(dir.Path()) + u"list \u0436\u65E5.txt";
  l.SaveToFile(name);
  TWideStringList file;
  file.LoadFromFile(name);
  EXPECT_TRUE(file.Equals(l));

  base::TStringList ansi;
  file.AssignTo(ansi);
  EXPECT_EQ(ansi[0], "first");
  TWideStringList fromAnsi;
  fromAnsi.Assign(ansi);
  EXPECT_EQ(fromAnsi[0], u"first");
}

}  // namespace
