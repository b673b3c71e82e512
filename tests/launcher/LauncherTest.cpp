// The launcher's Windows parts in-process: configuration record, file version, log file
// probe, VT_Log.dll and Hoistgate.dll, and the settling of a release on trial.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <regex>
#include <thread>
#include <vector>

#include "Hoistgate.h"
#include "VT_Log.h"
#include "launcher/ConfigRecord.h"
#include "launcher/LaunchRules.h"
#include "launcher/LauncherLog.h"
#include "launcher/ProgramFolders.h"
#include "launcher/ReleaseTrial.h"
#include "package/UpdateJournal.h"
#include "support/TempDir.h"

using namespace launcher;
using testsupport::TempDir;

namespace {

base::WideString W(const std::string& s) { return base::AnsiToWide(s); }
const wchar_t* L(const base::WideString& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
std::string BinDir() { return base::WideToAnsi(GetProgramDir()); }

// Holds a file open for writing the way the logging library does.
struct THeldFile {
  explicit THeldFile(const std::string& path)
      : Handle(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr)) {}
  ~THeldFile() { CloseHandle(Handle); }
  HANDLE Handle;
};

}  // namespace

TEST(ConfigRecord, ReadsDefaultsAndCutsLongValues) {
  TempDir dir;
  TConfigRecord missing(W(dir / "Missing.ini"));
  EXPECT_EQ(missing.ReadConfigString("System", "PackageVision", "0.0.0.0"), "0.0.0.0");
  EXPECT_EQ(missing.ReadConfigString("System", "AppExeName", ""), "");

  std::string longValue(3000, 'x');
  for (int i = 0; i < 3000; ++i) longValue[i] = static_cast<char>('a' + i % 26);
  testsupport::WriteFile(dir / "Orbelle.ini", "[System]\r\nAppExeName=" + longValue + "\r\nDefLanguage=chs\r\n");
  TConfigRecord record(W(dir / "Orbelle.ini"));
  EXPECT_EQ(record.ReadConfigString("System", "AppExeName", ""), longValue.substr(0, 2047));
  EXPECT_EQ(record.ReadConfigString("System", "DefLanguage", "ENG"), "chs");
  EXPECT_EQ(record.ReadConfigString("System", "Missing", "ENG"), "ENG");
  EXPECT_EQ(record.ReadConfigString("Other", "DefLanguage", "ENG"), "ENG");
}

TEST(ConfigRecord, WrittenValueIsSeenByAnotherRecordWithoutFlush) {
  TempDir dir;
  TConfigRecord writer(W(dir / "Orbelle.ini"));
  writer.WriteConfigString("System", "PackageVision", "2.1.0.7");
  TConfigRecord reader(W(dir / "Orbelle.ini"));
  EXPECT_EQ(reader.ReadConfigString("System", "PackageVision", "0.0.0.0"), "2.1.0.7");
  writer.FlushConfig();
  EXPECT_NE(testsupport::ReadFile(dir / "Orbelle.ini").find("PackageVision=2.1.0.7"), std::string::npos);
}

TEST(ConfigRecord, FailedWriteRaisesWithTheFileName) {
  TempDir dir;
  std::string file = dir / "no such folder\\Orbelle.ini";
  TConfigRecord record(W(file));
  try {
    record.WriteConfigString("System", "PackageVision", "1.0.0.0");
    FAIL() << "no exception";
  } catch (const EIniFileException& e) {
    EXPECT_EQ(e.Message(), "Unable to write to " + file);
  }
}

TEST(ConfigRecord, FileVersionShowsThreeNumbers) {
  EXPECT_EQ(GetFileVersionString(W(BinDir() + "VersionProbe.exe")), "3.1.4");
  EXPECT_EQ(GetFileVersionString(W(BinDir() + "OrbelleTestMain.exe")), "0.0.0");  // no version resource
  EXPECT_EQ(GetFileVersionString(W(BinDir() + "OrbelleLauncher.exe")), ORBELLE_VERSION_TEXT);
  EXPECT_EQ(GetFileVersionString(W(BinDir() + "NoSuchFile.exe")), "0.0.0");
}

TEST(ProgramFolders, ProgramDirEndsInOneBackslashAndDataFolderExists) {
  std::string dir = BinDir();
  ASSERT_GE(dir.size(), 3u);
  EXPECT_EQ(dir.back(), '\\');
  EXPECT_NE(dir[dir.size() - 2], '\\');
  base::WideString data = GetCommonDataDir();
  ASSERT_GT(data.size(), 17u);
  EXPECT_EQ(data.substr(data.size() - 17), u"\\Norvale Orbelle\\");
  DWORD attributes = GetFileAttributesW(L(data));
  EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));
}

TEST(LauncherLog, InUseProbeAndNameChoice) {
  TempDir dir;
  std::string folder = dir.Path();
  EXPECT_FALSE(IsLogFileInUse(W(folder + "Log.txt")));  // no file
  EXPECT_FALSE(IsLogFileInUse(u"  "));
  CreateDirectoryA((folder + "Log.txt").c_str(), nullptr);
  EXPECT_FALSE(IsLogFileInUse(W(folder + "Log.txt")));  // a directory of that name
  RemoveDirectoryA((folder + "Log.txt").c_str());
  testsupport::WriteFile(folder + "Log.txt", "old lines\r\n");
  EXPECT_FALSE(IsLogFileInUse(W(folder + "Log.txt")));  // present, open nowhere

  auto choose = [&] { return ChooseLogFileName([&](const std::string& n) { return IsLogFileInUse(W(folder + n)); }); };
  EXPECT_EQ(choose(), "Log.txt");
  {
    THeldFile held(folder + "Log.txt");
    EXPECT_TRUE(IsLogFileInUse(W(folder + "Log.txt")));
    EXPECT_EQ(choose(), "Log(1).txt");
    THeldFile held1(folder + "Log(1).txt");
    EXPECT_EQ(choose(), "Log(2).txt");
  }
  EXPECT_EQ(choose(), "Log.txt");
}

TEST(VTLog, LinesFromSeveralThreadsStayWholeAndTheFileIsHeld) {
  const std::string name = "VTLogTest.txt";
  const std::string path = BinDir() + "Log\\" + name;
  DeleteFileA(path.c_str());
  VTLogInit(L(W(name)), -1, 0, 0);
  EXPECT_TRUE(IsLogFileInUse(W(path)));
  constexpr int kThreads = 4, kLines = 150;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([t] {
      for (int i = 0; i < kLines; ++i) {
        std::wstring text = L"thread " + std::to_wstring(t) + L" line " + std::to_wstring(i) + L" \u00e9";
        (i % 2 ? VTOutput : VTLog)(text.c_str());
      }
    });
  for (auto& t : threads) t.join();
  // Another name releases this file.
  VTLogInit(L"VTLogTest2.txt", -1, 0, 0);
  EXPECT_FALSE(IsLogFileInUse(W(path)));

  std::string text = testsupport::ReadFile(path);
  std::regex line(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \[[0-9A-F]{8}\] thread (\d) line (\d+) \xC3\xA9\r)");
  std::vector<int> next(kThreads, 0);
  int count = 0;
  size_t pos = 0, end;
  while ((end = text.find('\n', pos)) != std::string::npos) {
    std::smatch m;
    std::string one = text.substr(pos, end - pos);
    ASSERT_TRUE(std::regex_match(one, m, line)) << one;
    int t = std::stoi(m[1]), i = std::stoi(m[2]);
    EXPECT_EQ(i, next[t]++) << "lines of one thread keep their order";
    ++count;
    pos = end + 1;
  }
  EXPECT_EQ(pos, text.size());
  EXPECT_EQ(count, kThreads * kLines);
  DeleteFileA(path.c_str());
  DeleteFileA((BinDir() + "Log\\VTLogTest2.txt").c_str());
}

TEST(VTLog, AFullLogBecomesThePreviousFileAndStartsAnew) {
  // A cap of 1 KiB: a file already over it at the start is rotated at once; while
  // writing, each line that would pass the cap rotates first. Two files at most, the
  // newest lines in the current one.
  const std::string path = BinDir() + "Log\\VTLogCap.txt", previous = path + ".old";
  CreateDirectoryA((BinDir() + "Log").c_str(), nullptr);
  DeleteFileA(previous.c_str());
  testsupport::WriteFile(path, std::string(5000, 'o'));
  VTLogInit(L"VTLogCap.txt", -1, 1, 0);
  EXPECT_EQ(testsupport::ReadFile(previous), std::string(5000, 'o'));
  for (int i = 0; i < 200; ++i) VTLog((L"line " + std::to_wstring(i) + std::wstring(20, L'x')).c_str());
  VTLogInit(L"VTLogTest2.txt", -1, 0, 0);
  std::string current = testsupport::ReadFile(path), old = testsupport::ReadFile(previous);
  EXPECT_LE(current.size(), 1024u);
  EXPECT_LE(old.size(), 1024u);
  EXPECT_GT(old.size(), 900u);
  EXPECT_NE(current.find("] line 199xxxx"), std::string::npos);
  EXPECT_EQ(old.find("] line 0x"), std::string::npos);
  EXPECT_EQ(current.substr(current.size() - 2), "\r\n");
  DeleteFileA(path.c_str());
  DeleteFileA(previous.c_str());
  DeleteFileA((BinDir() + "Log\\VTLogTest2.txt").c_str());
}

TEST(VTLog, AFullLogThatAReaderHoldsIsCopiedBeforeItStartsAnew) {
  // A reader that shares reading and writing but not deletion stops the rename: the full
  // file's lines must still reach the previous file rather than be cut away.
  const std::string path = BinDir() + "Log\\VTLogHeld.txt", previous = path + ".old";
  CreateDirectoryA((BinDir() + "Log").c_str(), nullptr);
  DeleteFileA(previous.c_str());
  testsupport::WriteFile(path, std::string(5000, 'o'));
  HANDLE reader =
      CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  VTLogInit(L"VTLogHeld.txt", -1, 1, 0);
  VTLog(L"after the cap");
  VTLogInit(L"VTLogTest2.txt", -1, 0, 0);
  CloseHandle(reader);
  EXPECT_EQ(testsupport::ReadFile(previous), std::string(5000, 'o'));
  std::string current = testsupport::ReadFile(path);
  EXPECT_EQ(current.find('o'), std::string::npos);
  EXPECT_NE(current.find("] after the cap\r\n"), std::string::npos);
  DeleteFileA(path.c_str());
  DeleteFileA(previous.c_str());
  DeleteFileA((BinDir() + "Log\\VTLogTest2.txt").c_str());
}

TEST(Hoistgate, CreateProcessWithExplorerStartsTheProgram) {
  HMODULE lib = LoadLibraryA("Hoistgate.dll");
  ASSERT_NE(lib, nullptr);
  auto start = reinterpret_cast<TCreateProcessWithExplorer>(
      reinterpret_cast<void*>(GetProcAddress(lib, "CreateProcessWithExplorer")));
  ASSERT_NE(start, nullptr);

  TempDir dir;
  ASSERT_TRUE(CopyFileA((BinDir() + "OrbelleTestMain.exe").c_str(), (dir / "Main.exe").c_str(), FALSE));
  testsupport::WriteFile(dir / "MainProgram.ini", "[Test]\r\nRunMs=1\r\n");
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(start(L(W(dir / "Main.exe")), L"1 4242", nullptr, SW_SHOWNOACTIVATE, &pi)) << GetLastError();
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, 20000), WAIT_OBJECT_0);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  EXPECT_EQ(testsupport::ReadFile(dir / "MainProgram.record.txt").rfind("start args=[1 4242] ", 0), 0u);

  struct Case {
    const wchar_t* Path;
    DWORD Error;
  } failures[] = {{nullptr, ERROR_INVALID_PARAMETER}, {L"", ERROR_INVALID_PARAMETER}};
  for (const Case& c : failures) {
    EXPECT_FALSE(start(c.Path, nullptr, nullptr, SW_SHOW, &pi));
    EXPECT_EQ(GetLastError(), c.Error);
  }
  EXPECT_FALSE(start(L(W(dir / "Missing.exe")), nullptr, nullptr, SW_SHOW, &pi));
  EXPECT_NE(GetLastError(), 0u);
  FreeLibrary(lib);
}

// The start's side of a release on trial: what SettleTrial records and does for each
// outcome of the journal's recovery, on a program folder whose f.txt is the new file and
// f.txt.~orbelle-old the one it replaced, with the journal on trial.
TEST(ReleaseTrial, TheStartSettlesATrialWithItsRecord) {
  struct Case {
    const char* Name;
    package::TRecoveryOutcome Outcome;
    const char* Keys;  // [System] lines of Orbelle.ini besides PackageVision=2.1.0.12
    bool OnTrial;      // SettleTrial's answer
    const char* File;  // f.txt afterwards: "old" (rolled back) or "new"
    bool JournalStays;
    const char* Vision;  // PackageVision afterwards
    const char* Bad;     // BadVisions afterwards
  } cases[] = {
      {"on trial", package::TRecoveryOutcome::roTrial,
       "TrialVision=2.1.0.12\r\nTrialPreviousVision=2.1.0.10\r\nTrialSeconds=10\r\n", true, "new", true, "2.1.0.12",
       ""},
      {"rollback decided, not begun", package::TRecoveryOutcome::roTrial,
       "TrialVision=2.1.0.12\r\nTrialPreviousVision=2.1.0.10\r\nBadVisions=2.1.0.12\r\n", false, "old", false,
       "2.1.0.10", "2.1.0.12"},
      {"record lost", package::TRecoveryOutcome::roTrial, "", false, "new", false, "2.1.0.12", ""},
      {"record of another version", package::TRecoveryOutcome::roTrial, "TrialVision=2.1.0.11\r\n", false, "new", false,
       "2.1.0.12", ""},
      {"rollback finished by the recovery", package::TRecoveryOutcome::roRolledBack,
       "TrialVision=2.1.0.12\r\nTrialPreviousVision=2.1.0.10\r\n", false, "new", true, "2.1.0.10", "2.1.0.12"},
      {"no journal, record left", package::TRecoveryOutcome::roNothing, "TrialVision=2.1.0.12\r\n", false, "new", true,
       "2.1.0.12", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TempDir dir;
    std::string program = dir / "program";
    CreateDirectoryA(program.c_str(), nullptr);
    std::string file = program + "\\f.txt", backup = file + package::kBackupSuffix;
    std::string journal = program + "\\" + package::kJournalFileName;
    testsupport::WriteFile(file, "new");
    testsupport::WriteFile(backup, "old");
    package::TUpdateJournal j;
    j.Version = "2.1.0.12";
    j.Stage = program + "\\" + package::kStageFolderName;
    j.Entries = 1;
    j.Moves.push_back({file, backup, j.StagedFile(0)});
    ASSERT_TRUE(package::WriteJournalFile(journal, j.HeaderText() + j.PlanText() + "Committed\r\nTrial\r\n"));
    testsupport::WriteFile(dir / "Orbelle.ini", std::string("[System]\r\nPackageVision=2.1.0.12\r\n") + c.Keys);
    SetConfigRecord(std::make_unique<TConfigRecord>(W(dir / "Orbelle.ini")));

    package::TRecoveryReport r;
    r.Outcome = c.Outcome;
    r.Version = "2.1.0.12";
    EXPECT_EQ(SettleTrial(r, program, journal), c.OnTrial);
    EXPECT_EQ(testsupport::ReadFile(file), c.File);
    EXPECT_EQ(GetFileAttributesA(backup.c_str()) != INVALID_FILE_ATTRIBUTES, c.OnTrial || c.JournalStays);
    EXPECT_EQ(GetFileAttributesA(journal.c_str()) != INVALID_FILE_ATTRIBUTES, c.OnTrial || c.JournalStays);
    EXPECT_EQ(ConfigRecord().ReadConfigString("System", "PackageVision", ""), c.Vision);
    EXPECT_EQ(ConfigRecord().ReadConfigString("System", "BadVisions", ""), c.Bad);
    // The record stays exactly while the release is on trial.
    EXPECT_EQ(ReadTrialRecord().Vision.empty(), !c.OnTrial);
    ReleaseConfigRecord();
  }
}
