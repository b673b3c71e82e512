#include <gtest/gtest.h>

#include <set>

#include "launcher/LaunchRules.h"

using namespace launcher;

TEST(LaunchRules, ProgramDirFromModulePath) {
  struct Case {
    const char16_t* Module;
    const char16_t* Dir;
  } cases[] = {
      {u"C:\\Program Files\\Norvale\\OrbelleLauncher.exe", u"C:\\Program Files\\Norvale\\"},
      {u"C:\\OrbelleLauncher.exe", u"C:\\"},  // drive root keeps its single backslash
      {u"\\\\server\\share\\OrbelleLauncher.exe", u"\\\\server\\share\\"},
      {u"\\\\OrbelleLauncher.exe", u"\\\\"},  // a backslash after a backslash stays
      {u"C:OrbelleLauncher.exe", u"C:\\"},
      {u"OrbelleLauncher.exe", u"\\"},
      {u"", u"\\"},
  };
  for (const Case& c : cases) EXPECT_EQ(ProgramDirFromModulePath(c.Module), c.Dir) << base::WideToUtf8(c.Module);
}

TEST(LaunchRules, FormatFileVersionDropsTheBuildNumber) {
  EXPECT_EQ(FormatFileVersion(0x00030001, 0x00040638), "3.1.4");  // 3.1.4.1592
  EXPECT_EQ(FormatFileVersion(0, 0), "0.0.0");
  EXPECT_EQ(FormatFileVersion(0xFFFFFFFF, 0xFFFF0000), "65535.65535.65535");
}

TEST(LaunchRules, ChooseLogFileNameTakesTheFirstFreeName) {
  std::set<std::string> held;
  std::vector<std::string> probed;
  auto inUse = [&](const std::string& n) {
    probed.push_back(n);
    return held.count(n) > 0;
  };
  EXPECT_EQ(ChooseLogFileName(inUse), "Log.txt");
  EXPECT_EQ(probed, std::vector<std::string>{"Log.txt"});
  held = {"Log.txt"};
  EXPECT_EQ(ChooseLogFileName(inUse), "Log(1).txt");
  held = {"Log.txt", "Log(1).txt", "Log(3).txt"};
  probed.clear();
  EXPECT_EQ(ChooseLogFileName(inUse), "Log(2).txt");
  EXPECT_EQ(probed, (std::vector<std::string>{"Log.txt", "Log(1).txt", "Log(2).txt"}));
  // A held name further up does not matter once a lower one is free.
  held = {"Log(1).txt"};
  EXPECT_EQ(ChooseLogFileName(inUse), "Log.txt");
}

TEST(LaunchRules, SplashTextRowIgnoresCaseAndFallsBackToRowZero) {
  struct Case {
    const char* Code;
    int Row;
  } cases[] = {{"ENG", 0}, {"chs", 1}, {"CHS", 1}, {"Cht", 2}, {"DEU", 0}, {"", 0}, {"CHSX", 0}};
  for (const Case& c : cases) EXPECT_EQ(SelectSplashTextRow(c.Code), c.Row) << c.Code;
  for (const TSplashText& row : SplashTextTable) EXPECT_STREQ(row.VersionFormat, "Version: %s");
}
