#include <gtest/gtest.h>

#include <cstdint>
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

TEST(LaunchRules, ProgressLineNumbers) {
  struct Case {
    int64_t Bytes;
    const char* Text;
  } counts[] = {
      {0, "0 B"},
      {-5, "0 B"},
      {1023, "1023 B"},
      {1024, "1.0 KB"},
      {1536, "1.5 KB"},
      {1048575, "1.0 MB"},  // rounds up into the next unit, not "1024.0 KB"
      {52428800, "50.0 MB"},
      {(int64_t{5} << 30) / 4, "1.25 GB"},
      {int64_t{3} << 40, "3.00 TB"},
      {INT64_MAX, "8388607.00 TB"},
  };
  for (const Case& c : counts) EXPECT_EQ(launcher::FormatByteCount(c.Bytes), c.Text) << c.Bytes;

  struct Line {
    int64_t Position, Total, Rate;
    const char* Text;
  } lines[] = {
      {12 << 20, 50 << 20, -1, "12.0 MB of 50.0 MB (24%)"},
      {12 << 20, 50 << 20, 2 << 20, "12.0 MB of 50.0 MB (24%), 2.0 MB/s"},
      {512, 0, -1, "512 B"},  // unknown total: bytes and rate only
      {512, 0, 300, "512 B, 300 B/s"},
      {0, 100, 0, "0 B of 100 B (0%), 0 B/s"},
      {101, 100, -1, "101 B of 100 B (100%)"},
      {INT64_MAX / 2, INT64_MAX, -1, "4194303.00 TB of 8388607.00 TB (50%)"},
  };
  for (const Line& l : lines) EXPECT_EQ(launcher::FormatProgress(l.Position, l.Total, l.Rate), l.Text) << l.Text;
}

TEST(LaunchRules, RateMeterKnowsTheRateAfterASecondOverTheLastFewSeconds) {
  launcher::TRateMeter meter;
  EXPECT_EQ(meter.BytesPerSecond(), -1);
  meter.Add(0xFFFFFF00u, 0);  // the tick counter wraps in between
  meter.Add(0xFFFFFF00u + 500, 1000);
  EXPECT_EQ(meter.BytesPerSecond(), -1);  // half a second is not enough
  meter.Add(0xFFFFFF00u + 1000, 2000);
  EXPECT_EQ(meter.BytesPerSecond(), 2000);
  // The rate follows the last three seconds: a faster line shows within them.
  for (uint32_t t = 1100; t <= 6000; t += 100) meter.Add(0xFFFFFF00u + t, 2000 + (t - 1000) * 10);
  EXPECT_EQ(meter.BytesPerSecond(), 10000);
  // A download that starts over starts the rate over.
  meter.Add(0xFFFFFF00u + 6100, 10);
  EXPECT_EQ(meter.BytesPerSecond(), -1);
}
