#include <gtest/gtest.h>

#include "base/Exceptions.h"
#include "base/List.h"
#include "base/StringList.h"
#include "support/TempDir.h"

using namespace base;

namespace {
struct Counted : TObject {
  explicit Counted(int* alive) : Alive(alive) { ++*Alive; }
  ~Counted() override { --*Alive; }
  int* Alive;
};
}  // namespace

TEST(List, IndexErrorsNameTheIndex) {
  TList list;
  try {
    list.Get(3);
    FAIL();
  } catch (const EListError& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (3)");
  }
  EXPECT_THROW(list.Delete(0), EListError);
  EXPECT_THROW(list.Insert(1, nullptr), EListError);
}

TEST(List, OwningListReleasesOnDeleteAndClearButNotExtract) {
  int alive = 0;
  {
    TObjectList list(true);
    auto* a = new Counted(&alive);
    auto* b = new Counted(&alive);
    list.Add(a);
    list.Add(b);
    list.Add(new Counted(&alive));
    EXPECT_EQ(alive, 3);
    list.Delete(0);
    EXPECT_EQ(alive, 2);
    EXPECT_EQ(list.Extract(b), b);
    EXPECT_EQ(alive, 2);
    EXPECT_EQ(list.Count(), 1);
    delete b;
  }
  EXPECT_EQ(alive, 0);  // the last one went with the list
}

TEST(StringList, TextSplitsEveryLineBreakKind) {
  TStringList l;
  l.SetText("a\r\nb\nc\rd");
  ASSERT_EQ(l.Count(), 4);
  EXPECT_EQ(l[3], "d");
  EXPECT_EQ(l.Text(), "a\r\nb\r\nc\r\nd\r\n");
  l.SetText("\r\n");
  EXPECT_EQ(l.Count(), 1);
  EXPECT_EQ(l[0], "");
}

TEST(StringList, NamesValuesAndSorting) {
  TStringList l;
  l.Add("PackageVision=2.1.0.12");
  l.Add("PackagePath=http://h/p.vtzip");
  EXPECT_EQ(l.Values("packagevision"), "2.1.0.12");
  EXPECT_EQ(l.Values("missing"), "");
  l.SetValue("PackagePath", "");
  EXPECT_EQ(l.Count(), 1);
  l.SetValue("AppExeName", "Orbelle.exe");
  EXPECT_EQ(l.Names(1), "AppExeName");

  TStringList s;
  s.SetSorted(true);
  for (const char* v : {"pear", "Apple", "fig", "apple"}) s.Add(v);
  EXPECT_EQ(s.Count(), 3);  // duplicates ignored, case-insensitively
  EXPECT_EQ(s[0], "Apple");
  EXPECT_EQ(s.IndexOf("FIG"), 1);
  EXPECT_THROW(s.Insert(0, "x"), EStringListError);
}

TEST(StringList, FileRoundTrip) {
  testsupport::TempDir dir;
  TStringList l;
  l.Add("one");
  l.Add("two");
  l.SaveToFile(dir / "list.txt");
  TStringList r;
  r.LoadFromFile(dir / "list.txt");
  EXPECT_EQ(r.Text(), "one\r\ntwo\r\n");
}
