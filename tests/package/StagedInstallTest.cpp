#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "PackageTestSupport.h"
#include "crypto/Sha256.h"
#include "package/PackageFile.h"
#include "package/StagedInstall.h"
#include "package/UpdateJournal.h"
#include "platform/Files.h"
#include "support/TempDir.h"

using namespace package;
using namespace packagetest;
using testsupport::TempDir;

namespace {

// An installed tree of 50 files (f00.bin .. f49.bin, some in a subfolder) and a package
// that replaces each of them and adds one; the journal beside the tree.
struct TInstalled {
  TempDir Dir;
  std::string Target = Dir / "program";
  std::string PackageFile = Dir / "pkg.vtzip";
  std::string Journal = Dir / "UpdateJournal.txt";

  static std::string Name(int i) { return (i % 5 == 0 ? "Sub\\f" : "f") + std::to_string(100 + i).substr(1) + ".bin"; }
  static std::string Old(int i) { return "old " + std::to_string(i) + std::string(static_cast<size_t>(i) * 40, 'o'); }
  static std::string New(int i) { return "new " + std::to_string(i) + std::string(static_cast<size_t>(i) * 70, 'n'); }

  TInstalled() {
    for (int i = 0; i < 50; ++i) {
      platform::ForceDirectories(Target + "\\Sub");
      WriteBytes(In(Name(i)), Old(i));
    }
  }
  std::string In(const std::string& name) const { return Target + "\\" + name; }

  // corrupt: index of the entry whose zlib data is damaged (-1: none).
  void WritePackage(int corrupt = -1) const {
    std::string index, blocks;
    for (int i = 0; i <= 50; ++i) {
      std::string name = i < 50 ? Name(i) : "Added\\new.txt";
      std::string block = Zlib(i < 50 ? New(i) : "added");
      if (i == corrupt) block[1] = static_cast<char>(block[1] ^ 0x01);  // the header check fails
      index += Line(name, block) + "\r\n";
      blocks += block;
    }
    WriteBytes(PackageFile, Package(index, blocks));
  }

  bool AllOld() const {
    for (int i = 0; i < 50; ++i)
      if (ReadBytes(In(Name(i))) != Old(i)) return false;
    return !platform::FileExists(In("Added\\new.txt"));
  }
  bool AllNew() const {
    for (int i = 0; i < 50; ++i)
      if (ReadBytes(In(Name(i))) != New(i)) return false;
    return ReadBytes(In("Added\\new.txt")) == "added";
  }
  // Files in the program folder that are not the package's (backups, staging).
  std::vector<std::string> Strays() const {
    std::vector<std::string> strays;
    for (const std::string& f : ListTree(Target))
      if (f.find(".~orbelle") != std::string::npos || f.find(kStageFolderName) != std::string::npos)
        strays.push_back(f);
    return strays;
  }
};

}  // namespace

TEST(StagedInstall, ACorruptEntryChangesNoInstalledFile) {
  // The 40th of the entries (and, for the edges, the first and the last) is corrupt: the
  // in-place extractor had replaced every file before it and truncated its own.
  for (int corrupt : {39, 0, 50}) {
    SCOPED_TRACE(corrupt);
    TInstalled t;
    t.WritePackage(corrupt);
    TLogCapture log;
    TInstallReport r = InstallPackage(t.Target, t.PackageFile, t.Journal, "2.1.0.12");
    EXPECT_FALSE(r.Installed);
    EXPECT_EQ(r.Files, 0);
    EXPECT_TRUE(t.AllOld());
    EXPECT_EQ(t.Strays(), std::vector<std::string>{});
    EXPECT_FALSE(platform::FileExists(t.Journal));
    std::string target = corrupt < 50 ? t.In(TInstalled::Name(corrupt)) : t.In("Added\\new.txt");
    ASSERT_EQ(r.Problems.size(), 1u);
    EXPECT_EQ(r.Problems[0], "DirectoryDecompression Failed:= " + target + " (corrupt compressed data)");
    EXPECT_EQ(log.Lines.back(), "[Splash]==================== " + r.Problems[0]);
    // Staging stopped at the corrupt entry: each entry is inflated once, none after it.
    EXPECT_EQ(log.Lines.size(), static_cast<size_t>(corrupt) + 2);
  }
}

TEST(StagedInstall, ReplacesEveryFileAndCompletesAfterTheVersionIsRecorded) {
  TInstalled t;
  t.WritePackage();
  TInstallOptions options;
  std::vector<std::pair<int64_t, int64_t>> progress;
  options.OnProgress = [&](int64_t done, int64_t total) { progress.emplace_back(done, total); };
  TInstallReport r = InstallPackage(t.Target + "\\", t.PackageFile, t.Journal, "2.1.0.12", options);
  EXPECT_TRUE(r.Installed);
  EXPECT_EQ(r.Files, 51);
  // From 0 to every compressed byte of the package, never backwards, at least once an entry.
  ASSERT_GE(progress.size(), 52u);
  std::string bytes = ReadBytes(t.PackageFile);
  int64_t indexLength = 0;
  for (int i = 3; i >= 0; --i) indexLength = indexLength << 8 | static_cast<uint8_t>(bytes[5 + static_cast<size_t>(i)]);
  int64_t blocks = static_cast<int64_t>(bytes.size()) - 9 - indexLength;
  EXPECT_EQ(progress.front(), std::make_pair(int64_t{0}, blocks));
  EXPECT_EQ(progress.back(), std::make_pair(blocks, blocks));
  for (size_t i = 1; i < progress.size(); ++i) {
    EXPECT_GE(progress[i].first, progress[i - 1].first) << i;
    EXPECT_EQ(progress[i].second, blocks) << i;
  }
  EXPECT_TRUE(t.AllNew());
  // Until completion the journal says committed and the backups hold the old files.
  TUpdateJournal j;
  std::string text, why;
  ASSERT_TRUE(ReadJournalFile(t.Journal, text));
  ASSERT_EQ(TUpdateJournal::Parse(text, t.Target, j, why), TJournalParse::jpOk) << why;
  EXPECT_EQ(j.State, TJournalState::jsCommitted);
  EXPECT_EQ(j.Version, "2.1.0.12");
  EXPECT_EQ(ReadBytes(t.In(TInstalled::Name(7)) + kBackupSuffix), TInstalled::Old(7));

  TRecoveryReport done = CompleteInstall(t.Target, t.Journal);
  EXPECT_EQ(done.Outcome, TRecoveryOutcome::roNew);
  EXPECT_EQ(done.Removed, 50);
  EXPECT_EQ(t.Strays(), std::vector<std::string>{});
  EXPECT_FALSE(platform::FileExists(t.Journal));
}

TEST(StagedInstall, TheNextStartUndoesAnUpdateKilledBetweenMovesOrFinishesACommittedOne) {
  // A hook that throws stands for the process dying before move k: nothing after it runs
  // and the journal is left as it was on disk.
  for (int k : {0, 1, 25, 50}) {
    SCOPED_TRACE(k);
    TInstalled t;
    t.WritePackage();
    TInstallOptions options;
    options.BeforeMove = [k](int32_t i) {
      if (i == k) throw std::runtime_error("killed");
    };
    EXPECT_FALSE(InstallPackage(t.Target, t.PackageFile, t.Journal, "2.1.0.12", options).Installed);
    ASSERT_TRUE(platform::FileExists(t.Journal));

    TLogCapture log;
    TRecoveryReport r = RecoverInstall(t.Target, t.Journal);
    EXPECT_EQ(r.Outcome, TRecoveryOutcome::roOld);
    EXPECT_TRUE(t.AllOld());
    EXPECT_EQ(t.Strays(), std::vector<std::string>{});
    EXPECT_FALSE(platform::FileExists(t.Journal));
    EXPECT_EQ(log.Lines, std::vector<std::string>{"[Splash]==================== UpdateRecovery:= unfinished update "
                                                  "undone, the installed files are the old ones"});
  }
  // Killed after the commit, before the version was recorded: finished, version reported.
  TInstalled t;
  t.WritePackage();
  ASSERT_TRUE(InstallPackage(t.Target, t.PackageFile, t.Journal, "2.1.0.12").Installed);
  TRecoveryReport r = RecoverInstall(t.Target, t.Journal);
  EXPECT_EQ(r.Outcome, TRecoveryOutcome::roNew);
  EXPECT_EQ(r.Version, "2.1.0.12");
  EXPECT_TRUE(t.AllNew());
  EXPECT_EQ(t.Strays(), std::vector<std::string>{});
  EXPECT_EQ(RecoverInstall(t.Target, t.Journal).Outcome, TRecoveryOutcome::roNothing);
}

TEST(StagedInstall, AnUpdateOnTrialIsKeptThenCompletedOrRolledBackEvenWhenKilledMidway) {
  {
    SCOPED_TRACE("healthy");
    TInstalled t;
    t.WritePackage();
    ASSERT_TRUE(InstallPackage(t.Target, t.PackageFile, t.Journal, "2.1.0.12").Installed);
    ASSERT_TRUE(BeginTrial(t.Target, t.Journal));
    EXPECT_FALSE(BeginTrial(t.Target, t.Journal));  // once only
    // A start during the trial leaves it alone: the new files, the backups, the journal.
    TRecoveryReport r = RecoverInstall(t.Target, t.Journal);
    EXPECT_EQ(r.Outcome, TRecoveryOutcome::roTrial);
    EXPECT_EQ(r.Version, "2.1.0.12");
    EXPECT_TRUE(t.AllNew());
    EXPECT_EQ(t.Strays().size(), 50u);  // the backups
    EXPECT_EQ(InstallPackage(t.Target, t.PackageFile, t.Journal, "2.1.0.13").Installed, false);
    // Started healthily: the backups go.
    EXPECT_EQ(CompleteInstall(t.Target, t.Journal).Outcome, TRecoveryOutcome::roNew);
    EXPECT_TRUE(t.AllNew());
    EXPECT_EQ(t.Strays(), std::vector<std::string>{});
    EXPECT_FALSE(platform::FileExists(t.Journal));
  }
  // Failed: every file goes back; a hook that throws before undo step k stands for the
  // process dying there, and the next start finishes the rollback from the journal.
  for (int k : {-1, 0, 1, 25, 50}) {
    SCOPED_TRACE(k);
    TInstalled t;
    t.WritePackage();
    ASSERT_TRUE(InstallPackage(t.Target, t.PackageFile, t.Journal, "2.1.0.12").Installed);
    ASSERT_TRUE(BeginTrial(t.Target, t.Journal));
    TRecoveryReport r = RollBackInstall(t.Target, t.Journal, [k](int32_t i) {
      if (i == k) throw std::runtime_error("killed");
    });
    if (k >= 0) {
      EXPECT_EQ(r.Outcome, TRecoveryOutcome::roFailed);
      ASSERT_TRUE(platform::FileExists(t.Journal));
      TLogCapture log;
      r = RecoverInstall(t.Target, t.Journal);
      EXPECT_EQ(log.Lines, std::vector<std::string>{"[Splash]==================== UpdateRecovery:= rollback "
                                                    "completed, the installed files are the old ones (2.1.0.12)"});
    }
    EXPECT_EQ(r.Outcome, TRecoveryOutcome::roRolledBack);
    EXPECT_EQ(r.Version, "2.1.0.12");
    EXPECT_TRUE(t.AllOld());
    EXPECT_EQ(t.Strays(), std::vector<std::string>{});
    EXPECT_FALSE(platform::FileExists(t.Journal));
  }
  {
    SCOPED_TRACE("not on trial");
    TInstalled t;
    t.WritePackage();
    EXPECT_FALSE(BeginTrial(t.Target, t.Journal));  // no journal
    ASSERT_TRUE(InstallPackage(t.Target, t.PackageFile, t.Journal, "2.1.0.12").Installed);
    TLogCapture log;
    EXPECT_EQ(RollBackInstall(t.Target, t.Journal).Outcome, TRecoveryOutcome::roFailed);
    EXPECT_TRUE(t.AllNew());  // a committed update not on trial is not undone
    EXPECT_EQ(log.Lines, std::vector<std::string>{"[Splash]==================== UpdateRollback Failed:= " + t.Journal +
                                                  " (not an update on trial)"});
  }
  // The trial lines come only in their place.
  TInstalled t;
  TUpdateJournal j;
  j.Version = "2.1.0.12";
  j.Stage = t.Target + "\\" + kStageFolderName;
  j.Entries = 1;
  j.Moves.push_back({t.In("f01.bin"), t.In("f01.bin") + kBackupSuffix, j.StagedFile(0)});
  std::string why;
  TUpdateJournal parsed;
  for (const char* tail : {"Trial\r\n", "Committed\r\nRollBack\r\n", "Committed\r\nTrial\r\nTrial\r\n"}) {
    EXPECT_EQ(TUpdateJournal::Parse(j.HeaderText() + j.PlanText() + tail, t.Target, parsed, why),
              TJournalParse::jpRefused)
        << tail;
    EXPECT_NE(why.find("out of place"), std::string::npos) << tail << why;
  }
}

TEST(StagedInstall, JournalsCutShortByAKill) {
  // Lines the kill cut off count as never written: a plan without "Planned" means no move
  // was made, so only the staged files go.
  TInstalled t;
  TUpdateJournal j;
  j.Version = "2.1.0.12";
  j.Stage = t.Target + "\\" + kStageFolderName;
  j.Entries = 3;
  platform::ForceDirectories(j.Stage);
  WriteBytes(j.StagedFile(0), "staged");
  WriteBytes(j.StagedFile(1), "staged");
  j.Moves.push_back({t.In(TInstalled::Name(1)), t.In(TInstalled::Name(1)) + kBackupSuffix, j.StagedFile(0)});
  std::string plan = j.PlanText();
  WriteJournalFile(t.Journal, j.HeaderText() + plan.substr(0, plan.size() - 5));  // "Plann"
  EXPECT_EQ(RecoverInstall(t.Target, t.Journal).Outcome, TRecoveryOutcome::roOld);
  EXPECT_TRUE(t.AllOld());
  EXPECT_EQ(t.Strays(), std::vector<std::string>{});
  EXPECT_FALSE(platform::FileExists(t.Journal));

  // Not a journal at all (its first line never reached the disk): dropped, nothing moved.
  WriteBytes(t.Journal, "[OrbelleUpd");
  EXPECT_EQ(RecoverInstall(t.Target, t.Journal).Outcome, TRecoveryOutcome::roOld);
  EXPECT_FALSE(platform::FileExists(t.Journal));
}

TEST(StagedInstall, RefusedPackagesAndNamesChangeNothing) {
  struct TCase {
    const char* What;
    std::string Index;
    std::string Refused;  // the index name the refusal names
  };
  std::string a = Zlib("aaa");
  std::vector<TCase> cases = {
      {"parent folder", Line("..\\evil.txt", a), "..\\evil.txt"},
      {"the staging folder", Line(std::string(kStageFolderName) + "\\0.new", a), "~OrbelleUpdate.stage\\0.new"},
      {"a backup name", Line(std::string("f01.bin") + kBackupSuffix, a), "f01.bin.~orbelle-old"},
      {"a line without size", "f01.bin", ""},  // refused with the index, naming the package
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    TInstalled t;
    WriteBytes(t.PackageFile, Package(Line("f02.bin", a) + "\r\n" + c.Index + "\r\n", a + a));
    TInstallReport r = InstallPackage(t.Target, t.PackageFile, t.Journal, "2.1.0.12");
    EXPECT_FALSE(r.Installed);
    ASSERT_EQ(r.Problems.size(), 1u);
    std::string expected = "DirectoryDecompression Refused:= " + (c.Refused.empty() ? t.PackageFile : c.Refused) + " (";
    EXPECT_EQ(r.Problems[0].substr(0, expected.size()), expected);
    EXPECT_TRUE(t.AllOld());
    EXPECT_EQ(t.Strays(), std::vector<std::string>{});
  }
  // An unfinished earlier update blocks the next one until it is recovered.
  TInstalled t;
  t.WritePackage();
  WriteBytes(t.Journal, "[OrbelleUpdateJournal]\r\n");
  TInstallReport r = InstallPackage(t.Target, t.PackageFile, t.Journal, "2.1.0.12");
  EXPECT_FALSE(r.Installed);
  EXPECT_TRUE(t.AllOld());
}

TEST(StagedInstall, InstallsThePackageThatWasCheckedWhateverHappensToItsName) {
  // The launcher checks the package's digest and installs it through one open handle. A
  // package put in its place in between (renamed over it where the system allows that
  // while it is open; Windows refuses) is never read.
  TInstalled t;
  t.WritePackage();
  TPackageFile package(t.PackageFile);
  std::string digest, error;
  int64_t size = 0;
  ASSERT_TRUE(crypto::Sha256Stream(*package.NewReader(), digest, size, error)) << error;
  EXPECT_EQ(digest, crypto::Sha256(ReadBytes(t.PackageFile)));
  std::string evil = Zlib("evil");
  WriteBytes(t.Dir / "evil.vtzip", Package(Line("f01.bin", evil) + "\r\n", evil));
  platform::RenameFile(t.Dir / "evil.vtzip", t.PackageFile, true);
  TInstallReport r = InstallPackage(t.Target, package, t.Journal, "2.1.0.12");
  EXPECT_TRUE(r.Installed);
  EXPECT_TRUE(t.AllNew());
}

TEST(StagedInstall, AFloodingIndexCostsOneLogLine) {
  // Indexes of a million lines: each is refused with one line that counts the bad lines,
  // before any line is kept.
  std::string a = Zlib("aaa");
  std::string bars, names, tiny;
  for (int i = 0; i < 1000000; ++i) bars += "x\n";
  for (int i = 0; i < 1000; ++i) names += "..\\x|" + std::to_string(a.size()) + "\n";
  for (int i = 0; i < 50000; ++i) tiny += "f|8\n";
  std::string thousand;
  for (int i = 0; i < 1000; ++i) thousand += a;
  struct TCase {
    const char* What;
    std::string Index, Blocks;
    std::string Line;  // after "DirectoryDecompression Refused:= "
  };
  std::vector<TCase> cases = {
      {"a million lines without a bar", bars, a,
       "@ (index line 1 \"x\": index line without '|'; 1000000 bad index lines)"},
      {"a thousand names that leave the folder", names, thousand,
       "..\\x (parent-directory part; 1000 bad index lines)"},
      {"more files than the blocks can hold", tiny, std::string(399999, 'z'),
       "@ (the index lists 50000 files, more than its 399999 bytes of compressed data can hold)"},
      {"more files than one update takes", tiny + tiny + tiny, std::string(1200000, 'z'),
       "@ (the index lists 150000 files, more than the 100000 of one update)"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    TInstalled t;
    WriteBytes(t.PackageFile, Package(c.Index, c.Blocks));
    TLogCapture log;
    TInstallReport r = InstallPackage(t.Target, t.PackageFile, t.Journal, "2.1.0.12");
    EXPECT_FALSE(r.Installed);
    std::string line = c.Line[0] == '@' ? t.PackageFile + c.Line.substr(1) : c.Line;
    EXPECT_EQ(log.Lines,
              std::vector<std::string>{"[Splash]==================== DirectoryDecompression Refused:= " + line});
    EXPECT_TRUE(t.AllOld());
    EXPECT_EQ(t.Strays(), std::vector<std::string>{});
  }
}

TEST(StagedInstall, PlantedJournalsAreSetAsideAndMoveNothing) {
  // Journals an attacker could write, each refused whole: no file inside or outside the
  // program folder changes, the journal is kept aside for diagnosis, one line says why,
  // the next start meets no journal and the next update installs.
  struct TCase {
    const char* What;
    std::string (*Text)(const TInstalled& t, const std::string& outside);
    const char* Why;  // the start of the reason in the log line
  };
  auto head = [](const TInstalled& t, const std::string& entries) {
    return "[OrbelleUpdateJournal]\r\nVersion=2.1.0.12\r\nStage=" + t.Target + "\\" + kStageFolderName +
           "\r\nEntries=" + entries + "\r\n";
  };
  static decltype(head) sHead = head;
  std::vector<TCase> cases = {
      {"a move over a file outside",
       [](const TInstalled& t, const std::string& o) {
         return sHead(t, "1") + "Move=" + o + "victim.txt|" + o + "source.txt|" + t.Target + "\\" + kStageFolderName +
                "\\0.new\r\nPlanned\r\n";
       },
       "line 5: Move \""},
      {"a removal outside",
       [](const TInstalled&, const std::string& o) {
         return "[OrbelleUpdateJournal]\r\nRemove=" + o + "victim.txt\r\nCleanup\r\n";
       },
       "line 2: Remove \""},
      {"a removal of a program file",
       [](const TInstalled& t, const std::string&) {
         return "[OrbelleUpdateJournal]\r\nRemove=" + t.In("f01.bin") + "\r\nCleanup\r\n";
       },
       "line 2: Remove not a file an update sets aside"},
      {"a parent-folder target",
       [](const TInstalled& t, const std::string&) {
         return sHead(t, "1") + "Move=" + t.Target + "\\..\\victim.txt||" + t.Target + "\\" + kStageFolderName +
                "\\0.new\r\nPlanned\r\n";
       },
       "line 5: Move \""},
      {"a backup that is another program file",
       [](const TInstalled& t, const std::string&) {
         return sHead(t, "1") + "Move=" + t.In("f01.bin") + "|" + t.In("f02.bin") + "|" + t.Target + "\\" +
                kStageFolderName + "\\0.new\r\nPlanned\r\n";
       },
       "line 5: Move the backup is not"},
      {"a move into a missing folder",
       [](const TInstalled& t, const std::string& o) {
         return sHead(t, "1") + "Move=" + o + "nofolder\\x.bin|" + t.In("f01.bin") + "|" + t.Target + "\\" +
                kStageFolderName + "\\0.new\r\nPlanned\r\n";
       },
       "line 5: Move \""},
      {"a staged file past the entries",
       [](const TInstalled& t, const std::string&) {
         return sHead(t, "1") + "Move=" + t.In("f01.bin") + "||" + t.Target + "\\" + kStageFolderName +
                "\\1.new\r\nPlanned\r\n";
       },
       "line 5: Move the staged file is not one of the entries"},
      {"a staging folder outside",
       [](const TInstalled&, const std::string& o) {
         return "[OrbelleUpdateJournal]\r\nVersion=2.1.0.12\r\nStage=" + o + "\r\nEntries=1\r\n";
       },
       "line 3: \""},
      {"a version that is not one",
       [](const TInstalled&, const std::string&) {
         return std::string("[OrbelleUpdateJournal]\r\nVersion=2.1.0.x\r\n");
       },
       "line 2: \"2.1.0.x\" is not a version"},
      {"a huge entry count", [](const TInstalled& t, const std::string&) { return sHead(t, "2147483647"); },
       "line 4: Entries is not a count"},
      {"16 MiB of line breaks",
       [](const TInstalled&, const std::string&) { return "[OrbelleUpdateJournal]\r\n" + std::string(16 << 20, '\n'); },
       "larger than 16777216 bytes"},
      {"8 MiB of empty lines",
       [](const TInstalled&, const std::string&) {
         std::string s = "[OrbelleUpdateJournal]\r\n";
         for (int i = 0; i < (4 << 20); ++i) s += "\r\n";
         return s;
       },
       "line 2: \"\" is not a journal line"},
      {"lines out of order", [](const TInstalled& t, const std::string&) { return sHead(t, "0") + "Committed\r\n"; },
       "line 5: Committed out of place"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    TInstalled t;
    std::string outside = t.Dir / "";
    WriteBytes(outside + "victim.txt", "victim");
    WriteBytes(outside + "source.txt", "source");
    WriteBytes(t.In("f01.bin") + kBackupSuffix, "backup");
    std::string text = c.Text(t, outside);
    WriteBytes(t.Journal, text);
    TLogCapture log;
    TRecoveryReport r = RecoverInstall(t.Target, t.Journal);
    EXPECT_EQ(r.Outcome, TRecoveryOutcome::roRefused);
    EXPECT_EQ(ReadBytes(outside + "victim.txt"), "victim");
    EXPECT_EQ(ReadBytes(outside + "source.txt"), "source");
    EXPECT_EQ(ReadBytes(t.In("f01.bin") + kBackupSuffix), "backup");
    platform::RemoveFile(t.In("f01.bin") + kBackupSuffix);
    EXPECT_TRUE(t.AllOld());
    EXPECT_FALSE(platform::FileExists(t.Journal));
    EXPECT_EQ(r.SetAsideAs, t.Journal + ".refused");
    EXPECT_EQ(ReadBytes(t.Journal + ".refused").size(), text.size());
    ASSERT_EQ(log.Lines.size(), 1u);
    std::string expected = "[Splash]==================== UpdateRecovery Refused:= " + t.Journal + " (" + c.Why;
    EXPECT_EQ(log.Lines[0].substr(0, expected.size()), expected);
    EXPECT_NE(log.Lines[0].find("), nothing done, set aside as " + t.Journal + ".refused"), std::string::npos);
    // The next start meets no journal; the next update installs.
    EXPECT_EQ(RecoverInstall(t.Target, t.Journal).Outcome, TRecoveryOutcome::roNothing);
    t.WritePackage();
    EXPECT_TRUE(InstallPackage(t.Target, t.PackageFile, t.Journal, "2.1.0.12").Installed);
    EXPECT_TRUE(t.AllNew());
  }
}

TEST(StagedInstall, AForeignJournalOnlyLosesLeftovers) {
  // A journal outside the program folder: a finished update's backups go, its version
  // is not reported; an unfinished one is set aside even when its shape is right.
  TInstalled t;
  t.WritePackage();
  ASSERT_TRUE(InstallPackage(t.Target, t.PackageFile, t.Journal, "2.1.0.12").Installed);
  TRecoveryReport r = RecoverForeignJournal(t.Target, t.Journal);
  EXPECT_EQ(r.Outcome, TRecoveryOutcome::roLeftover);
  EXPECT_EQ(r.Version, "");
  EXPECT_TRUE(t.AllNew());
  EXPECT_EQ(t.Strays(), std::vector<std::string>{});

  TInstalled u;
  u.WritePackage();
  TInstallOptions options;
  options.BeforeMove = [](int32_t i) {
    if (i == 3) throw std::runtime_error("killed");
  };
  EXPECT_FALSE(InstallPackage(u.Target, u.PackageFile, u.Journal, "2.1.0.12", options).Installed);
  TRecoveryReport planted = RecoverForeignJournal(u.Target, u.Journal);
  EXPECT_EQ(planted.Outcome, TRecoveryOutcome::roRefused);
  EXPECT_TRUE(platform::FileExists(u.Journal + ".refused"));
  EXPECT_FALSE(u.AllOld());  // nothing was moved back either

  // The program folder's own journal still waits to be undone (as after a start whose
  // undo failed): its backups are the only copies of the old files, and a foreign journal
  // naming them waits until that journal is done.
  TInstalled w;
  w.WritePackage();
  std::string own = w.In(kJournalFileName);
  EXPECT_FALSE(InstallPackage(w.Target, w.PackageFile, own, "2.1.0.12", options).Installed);
  WriteBytes(w.Journal,
             "[OrbelleUpdateJournal]\r\nRemove=" + w.In(TInstalled::Name(1)) + kBackupSuffix + "\r\nCleanup\r\n");
  EXPECT_EQ(RecoverForeignJournal(w.Target, w.Journal).Outcome, TRecoveryOutcome::roNothing);
  EXPECT_EQ(RecoverInstall(w.Target, own).Outcome, TRecoveryOutcome::roOld);
  EXPECT_TRUE(w.AllOld());
  EXPECT_EQ(RecoverForeignJournal(w.Target, w.Journal).Outcome, TRecoveryOutcome::roLeftover);
  EXPECT_FALSE(platform::FileExists(w.Journal));
}
