#include "package/StagedInstall.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <map>
#include <memory>

#include "base/Exceptions.h"
#include "base/Format.h"
#include "base/Log.h"
#include "base/Stream.h"
#include "base/Strings.h"
#include "package/Decompression.h"
#include "package/EntryName.h"
#include "package/PackageFile.h"
#include "package/PackageReader.h"
#include "package/StageInflater.h"
#include "package/UpdateJournal.h"
#include "platform/Files.h"
#include "platform/SystemError.h"
#include "platform/Thread.h"

namespace package {
namespace {

const char kLogPrefix[] = "[Splash]==================== ";

void Log(const std::string& message) {
  try {
    base::WriteLog(kLogPrefix + message);
  } catch (...) {
  }
}

std::string Fold(std::string s) {
  for (char& c : s) c = c == '/' ? '\\' : c;
  return base::UpperCase(s);
}

std::string SystemReason() { return PrintableName(platform::SysErrorMessage(platform::LastError())); }

// A name beside path that is free now: path + suffix, else with a number added.
std::string FreeName(const std::string& path, const std::string& suffix) {
  std::string name = path + suffix;
  for (int n = 2; platform::FileExists(name) || platform::DirectoryExists(name); ++n) {
    // A leftover of an earlier update that is no longer in use goes first.
    if (n == 2 && platform::FileExists(name) && platform::RemoveFile(name)) break;
    name = path + suffix + std::to_string(n);
    if (n > 1000) break;
  }
  return name;
}

// Removes the staged files of journal and its staging folder (missing ones are fine).
void RemoveStage(const TUpdateJournal& journal) {
  if (journal.Stage.empty() || !platform::DirectoryExists(journal.Stage)) return;
  for (int32_t i = 0; i < journal.Entries; ++i) platform::RemoveFile(journal.StagedFile(i));
  platform::RemoveDir(journal.Stage);
}

// Removes path, or when it is in use renames it aside for a later start. False when
// neither worked; discard receives the aside name.
bool RemoveOrSetAside(const std::string& path, std::vector<std::string>& later) {
  if (platform::RemoveFile(path) || !platform::FileExists(path)) return true;
  std::string aside = FreeName(path, ".~orbelle-discard");
  if (!platform::RenameFile(path, aside)) return false;
  later.push_back(aside);
  return true;
}

// Ends the journal: deleted when nothing is left, else replaced by a cleanup journal.
bool CloseJournal(const std::string& journalFile, const std::vector<std::string>& later) {
  if (later.empty()) return platform::RemoveFile(journalFile) || !platform::FileExists(journalFile);
  TUpdateJournal rest;
  rest.Removals = later;
  return WriteJournalFile(journalFile, rest.CleanupText());
}

// Puts every file of a planned update back as it was; true when all of them are.
// Each step can be repeated: a file already put back has no backup any more, a new one
// already removed no target, so an undo cut short by a kill is finished by running it
// again.
bool UndoMoves(const std::string& journalFile, const TUpdateJournal& journal, std::vector<std::string>& problems,
               const std::function<void(int32_t)>& beforeMove = {}) {
  std::vector<std::string> later;
  bool ok = true;
  int32_t step = 0;
  for (auto it = journal.Moves.rbegin(); it != journal.Moves.rend(); ++it) {
    const TJournalMove& m = *it;
    if (beforeMove) beforeMove(step++);
    if (!m.Backup.empty()) {
      if (!platform::FileExists(m.Backup)) continue;  // never set aside: the target is the old file
      if (!RemoveOrSetAside(m.Target, later) || !platform::RenameFile(m.Backup, m.Target)) {
        ok = false;
        problems.push_back("UpdateUndo Failed:= " + PrintableName(m.Target) + " (" + SystemReason() + ")");
      }
    } else if (!platform::FileExists(m.Staged) && platform::FileExists(m.Target)) {
      // A new file that was moved in.
      if (!RemoveOrSetAside(m.Target, later)) {
        ok = false;
        problems.push_back("UpdateUndo Failed:= " + PrintableName(m.Target) + " (" + SystemReason() + ")");
      }
    }
  }
  if (!ok) return false;  // the journal stays: the next start tries again
  RemoveStage(journal);
  CloseJournal(journalFile, later);
  return true;
}

class TInstall {
 public:
  TInstall(const std::string& targetDir, const std::string& packageFile, const std::string& journalFile,
           const TInstallOptions& options, TInstallReport& report)
      : FTargetDir(targetDir),
        FPackageFile(packageFile),
        FJournalFile(journalFile),
        FOptions(options),
        FReport(report) {}

  // Installs from package when given, else from the file by name.
  void Run(const std::string& version, const TPackageFile* package);
  bool BeginJournal(const std::string& version);
  void RunBuilt(const std::vector<std::string>& names, const std::vector<std::string>& removals,
                const TStageBuild& build, const std::string& version);

 private:
  bool Fail(const std::string& line) {
    FReport.Problems.push_back(line);
    Log(line);
    return false;
  }
  bool Check(const TPackageReader& reader);
  // Inflates every entry into the staging folder; false at the first entry that fails.
  // Returns only when no staging file is being written any more.
  bool Stage(const TPackageReader& reader, const TPackageFile& package);
  bool Commit();

  std::string FTargetDir;
  std::string FPackageFile;
  std::string FJournalFile;
  const TInstallOptions& FOptions;
  TInstallReport& FReport;
  TUpdateJournal FJournal;
  std::vector<std::string> FTargets;  // per entry
};

bool TInstall::Check(const TPackageReader& reader) {
  bool ok = true;
  int64_t bad = 0;
  std::string first;
  if (reader.Entries().size() > static_cast<size_t>(kMaxJournalEntries))
    return Fail(base::Format("DirectoryDecompression Refused:= %s (%d files, more than the %d one update takes)",
                             PrintableName(FPackageFile), static_cast<int64_t>(reader.Entries().size()),
                             kMaxJournalEntries));
  for (const TPackageEntry& e : reader.Entries()) {
    std::string why = e.Problem != TLineProblem::lpNone ? DescribeLineProblem(e.Problem) : CheckEntryName(e.Name);
    std::string target = FTargetDir + "\\" + e.Name;
    if (why.empty() && Fold(target) == Fold(FPackageFile)) why = "names the package itself";
    if (why.empty() && (IsReservedUpdateName(e.Name) || Fold(target) == Fold(FJournalFile)))
      why = "names a file the update itself uses";
    // The journal must be able to name the file and its backup.
    if (why.empty() && target.size() + std::char_traits<char>::length(kBackupSuffix) + 4 > kMaxJournalPath)
      why = "path too long";
    if (!why.empty() && bad++ == 0) first = PrintableName(e.Name) + " (" + why;
    FTargets.push_back(target);
  }
  // One line however many names are bad: the index is untrusted.
  if (bad > 0) ok = Fail(base::Format("DirectoryDecompression Refused:= %s; %d bad index lines)", first, bad));
  return ok;
}

bool TInstall::Stage(const TPackageReader& reader, const TPackageFile& package) {
  const auto& entries = reader.Entries();
  std::vector<TStageJob> jobs;
  for (size_t i = 0; i < entries.size(); ++i)
    jobs.push_back({entries[i].Offset, entries[i].Size, FJournal.StagedFile(static_cast<int32_t>(i))});
  // Entries are inflated on every processor; their lines are logged and judged here, in
  // index order, so the log reads as if they were inflated one after the other and the
  // first faulty entry is the one reported.
  TStageInflater inflater(package, std::move(jobs), platform::ProcessorCount());
  int64_t total = 0, done = 0;
  for (const TPackageEntry& e : entries) total += e.Size;
  if (FOptions.OnProgress) FOptions.OnProgress(0, total);
  // While the caller waits for an entry: the bytes every worker has read so far (later
  // entries may be under way too), never less than what was reported before.
  auto progress = [&] { return std::max(done, std::min(inflater.BytesRead(), total)); };
  std::function<void()> waiting;
  if (FOptions.OnProgress) waiting = [&] { FOptions.OnProgress(progress(), total); };
  for (size_t i = 0; i < entries.size(); ++i) {
    const std::string& target = FTargets[i];
    Log("DirectoryDecompression File:= " + target);
    TStageOutcome r = inflater.Take(i, waiting);
    if (r.Kind != TStageOutcome::TKind::skInflated) inflater.Stop();
    if (r.Kind == TStageOutcome::TKind::skCorrupt)
      return Fail("DirectoryDecompression Failed:= " + PrintableName(target) + " (corrupt compressed data)");
    if (r.Kind == TStageOutcome::TKind::skFailed)
      return Fail("DirectoryDecompression Failed:= " + PrintableName(target) + " (" + PrintableName(r.Error) + ")");
    FReport.Bytes += r.Inflate.Size;
    if (!r.Inflate.Complete) {
      inflater.Stop();
      return Fail("DirectoryDecompression Failed:= " + PrintableName(target) +
                  " (compressed data ends early; the file is incomplete)");
    }
    if (r.Inflate.TrailingBytes > 0)
      Log("DirectoryDecompression Warning:= " + PrintableName(target) + " (" + std::to_string(r.Inflate.TrailingBytes) +
          " bytes after the end of the compressed data ignored)");
    done += entries[i].Size;
    if (FOptions.OnProgress) FOptions.OnProgress(progress(), total);
  }
  return true;
}

bool TInstall::Commit() {
  for (size_t i = 0; i < FJournal.Moves.size(); ++i) {
    const TJournalMove& m = FJournal.Moves[i];
    if (FOptions.BeforeMove) FOptions.BeforeMove(static_cast<int32_t>(i));
    bool ok = m.Backup.empty() || platform::RenameFile(m.Target, m.Backup);
    if (ok) {
      // A new file may need its folders; a failure shows in the move. A move without a
      // staged file removes its target (a delta's removal): setting it aside was all.
      if (m.Backup.empty()) platform::ForceDirectories(base::ExtractFilePath(m.Target));
      if (!m.Staged.empty()) ok = platform::RenameFile(m.Staged, m.Target);
    }
    if (!ok) {
      Fail("UpdateCommit Failed:= " + PrintableName(m.Target) + " (" + SystemReason() + ")");
      std::vector<std::string> problems;
      if (UndoMoves(FJournalFile, FJournal, problems)) Log("UpdateCommit Undone:= every installed file kept");
      for (const std::string& p : problems) Fail(p);
      return false;
    }
    ++FReport.Files;
  }
  if (!AppendJournalFile(FJournalFile, "Committed\r\n")) {
    // Without the mark the next start would undo a complete update: undo it now instead.
    Fail("UpdateCommit Failed:= " + PrintableName(FJournalFile) + " (" + SystemReason() + ")");
    std::vector<std::string> problems;
    UndoMoves(FJournalFile, FJournal, problems);
    for (const std::string& p : problems) Fail(p);
    return false;
  }
  return true;
}

void TInstall::Run(const std::string& version, const TPackageFile* given) {
  if (FTargetDir.empty()) return void(Fail("DirectoryDecompression Refused:= (no target directory)"));
  if (FTargetDir.back() == '\\' || FTargetDir.back() == '/') FTargetDir.pop_back();
  if (!IsJournalVersion(version))
    return void(Fail("DirectoryDecompression Refused:= " + PrintableName(FPackageFile) + " (version \"" +
                     PrintableName(version.substr(0, 64)) + "\" is not a package version)"));
  if (platform::FileExists(FJournalFile))
    return void(Fail("DirectoryDecompression Refused:= " + PrintableName(FPackageFile) +
                     " (an earlier update is not finished)"));
  // Every read of the package, from its index to its last entry, goes through one handle.
  std::unique_ptr<TPackageFile> own;
  if (!given) {
    if (!platform::FileExists(FPackageFile))
      return void(Fail("DirectoryDecompression Refused:= " + PrintableName(FPackageFile) + " (no such file)"));
    try {
      own = std::make_unique<TPackageFile>(FPackageFile);
    } catch (const std::exception& e) {
      return void(Fail("DirectoryDecompression Refused:= " + PrintableName(FPackageFile) + " (" + e.what() + ")"));
    }
    given = own.get();
  }
  std::unique_ptr<base::TStream> index = given->NewReader();
  TPackageLimits limits;
  limits.Strict = true;
  limits.MaxFiles = kMaxJournalEntries;
  TPackageReader reader(*index, limits);
  if (reader.Status() != TPackageStatus::psOk)
    return void(
        Fail("DirectoryDecompression Refused:= " + PrintableName(FPackageFile) + " (" + reader.Problem() + ")"));
  FReport.Lines = static_cast<int32_t>(reader.Entries().size());
  if (!Check(reader)) return;

  if (!BeginJournal(version)) return;
  bool staged = platform::ForceDirectories(FJournal.Stage);
  if (!staged) Fail("DirectoryDecompression Failed:= " + PrintableName(FJournal.Stage) + " (" + SystemReason() + ")");
  staged = staged && Stage(reader, *given);
  own.reset();
  if (!staged) {
    RemoveStage(FJournal);
    platform::RemoveFile(FJournalFile);
    return;
  }

  // One move per distinct file; a file named twice takes the later entry.
  std::map<std::string, size_t> last;
  for (size_t i = 0; i < FTargets.size(); ++i) last[Fold(FTargets[i])] = i;
  for (size_t i = 0; i < FTargets.size(); ++i) {
    if (last[Fold(FTargets[i])] != i) continue;
    const std::string& target = FTargets[i];
    std::string backup = platform::FileExists(target) ? FreeName(target, kBackupSuffix) : std::string();
    FJournal.Moves.push_back({target, backup, FJournal.StagedFile(static_cast<int32_t>(i))});
  }
  if (!AppendJournalFile(FJournalFile, FJournal.PlanText())) {
    Fail("DirectoryDecompression Failed:= " + PrintableName(FJournalFile) + " (" + SystemReason() + ")");
    RemoveStage(FJournal);
    platform::RemoveFile(FJournalFile);
    return;
  }
  FReport.Installed = Commit();
}

// Picks a free staging folder and writes the journal's header for FReport.Lines entries;
// false (logged) when either cannot be done.
bool TInstall::BeginJournal(const std::string& version) {
  FJournal.Version = version;
  FJournal.Entries = FReport.Lines;
  FJournal.Stage = FTargetDir + "\\" + kStageFolderName;
  for (int n = 2; platform::DirectoryExists(FJournal.Stage) || platform::FileExists(FJournal.Stage); ++n) {
    if (n > kMaxFreeNameNumber)
      return Fail("DirectoryDecompression Failed:= " + PrintableName(FJournal.Stage) + " (no free staging folder)");
    FJournal.Stage = FTargetDir + "\\" + kStageFolderName + std::to_string(n);
  }
  if (!WriteJournalFile(FJournalFile, FJournal.HeaderText()))
    return Fail("DirectoryDecompression Failed:= " + PrintableName(FJournalFile) + " (" + SystemReason() + ")");
  return true;
}

void TInstall::RunBuilt(const std::vector<std::string>& names, const std::vector<std::string>& removals,
                        const TStageBuild& build, const std::string& version) {
  if (FTargetDir.empty()) return void(Fail("DirectoryDecompression Refused:= (no target directory)"));
  if (FTargetDir.back() == '\\' || FTargetDir.back() == '/') FTargetDir.pop_back();
  if (!IsJournalVersion(version))
    return void(Fail("DirectoryDecompression Refused:= (version \"" + PrintableName(version.substr(0, 64)) +
                     "\" is not a package version)"));
  if (platform::FileExists(FJournalFile))
    return void(Fail("DirectoryDecompression Refused:= " + PrintableName(FPackageFile) +
                     " (an earlier update is not finished)"));
  // What the journal could not describe, or a name the update uses itself, is refused as
  // the package install refuses it (the names were checked as entry names already).
  if (names.size() + removals.size() > static_cast<size_t>(kMaxJournalEntries))
    return void(Fail(base::Format("DirectoryDecompression Refused:= %d files, more than the %d one update takes",
                                  static_cast<int64_t>(names.size() + removals.size()), kMaxJournalEntries)));
  for (const std::vector<std::string>* list : {&names, &removals})
    for (const std::string& name : *list) {
      std::string target = FTargetDir + "\\" + name;
      std::string why = CheckEntryName(name);
      if (why.empty() && (IsReservedUpdateName(name) || Fold(target) == Fold(FJournalFile)))
        why = "names a file the update itself uses";
      if (why.empty() && target.size() + std::char_traits<char>::length(kBackupSuffix) + 4 > kMaxJournalPath)
        why = "path too long";
      if (!why.empty()) return void(Fail("DirectoryDecompression Refused:= " + PrintableName(name) + " (" + why + ")"));
    }
  FReport.Lines = static_cast<int32_t>(names.size());
  if (!BeginJournal(version)) return;
  std::vector<std::string> staged;
  for (size_t i = 0; i < names.size(); ++i) staged.push_back(FJournal.StagedFile(static_cast<int32_t>(i)));
  std::string problem;
  if (!platform::ForceDirectories(FJournal.Stage))
    problem = "DirectoryDecompression Failed:= " + PrintableName(FJournal.Stage) + " (" + SystemReason() + ")";
  else
    problem = build(staged);
  if (!problem.empty()) {
    Fail(problem);
    RemoveStage(FJournal);
    platform::RemoveFile(FJournalFile);
    return;
  }
  for (size_t i = 0; i < names.size(); ++i) {
    std::string target = FTargetDir + "\\" + names[i];
    std::string backup = platform::FileExists(target) ? FreeName(target, kBackupSuffix) : std::string();
    FJournal.Moves.push_back({target, backup, staged[i]});
  }
  for (const std::string& name : removals) {
    std::string target = FTargetDir + "\\" + name;
    if (platform::FileExists(target)) FJournal.Moves.push_back({target, FreeName(target, kBackupSuffix), ""});
  }
  if (!AppendJournalFile(FJournalFile, FJournal.PlanText())) {
    Fail("DirectoryDecompression Failed:= " + PrintableName(FJournalFile) + " (" + SystemReason() + ")");
    RemoveStage(FJournal);
    platform::RemoveFile(FJournalFile);
    return;
  }
  FReport.Installed = Commit();
}

// Removes what a committed update left: backups, the staging folder, listed leftovers.
TRecoveryReport Complete(const std::string& journalFile, const TUpdateJournal& journal) {
  TRecoveryReport r;
  r.Outcome = journal.State == TJournalState::jsCleanup ? TRecoveryOutcome::roLeftover : TRecoveryOutcome::roNew;
  r.Version = journal.Version;
  std::vector<std::string> later;
  std::vector<std::string> candidates = journal.Removals;
  for (const TJournalMove& m : journal.Moves)
    if (!m.Backup.empty()) candidates.push_back(m.Backup);
  for (const std::string& path : candidates) {
    if (platform::RemoveFile(path))
      ++r.Removed;
    else if (platform::FileExists(path))
      later.push_back(path);  // still running or loaded: the next start removes it
  }
  r.Remaining = static_cast<int32_t>(later.size());
  // Every staged file was moved in, unless the index named a file twice.
  if (!platform::RemoveDir(journal.Stage)) RemoveStage(journal);
  if (!CloseJournal(journalFile, later)) {
    r.Outcome = TRecoveryOutcome::roFailed;
    r.Problems.push_back("UpdateRecovery Failed:= " + PrintableName(journalFile) + " (" + SystemReason() + ")");
  }
  return r;
}

// Renames a journal that is not carried out aside, keeping earlier ones; removes it when
// no name is free. Returns the new name, empty when it was removed (or is stuck).
std::string SetAside(const std::string& journalFile) {
  for (int32_t n = 1; n <= kMaxFreeNameNumber; ++n) {
    std::string aside = journalFile + ".refused" + (n > 1 ? std::to_string(n) : std::string());
    if (platform::FileExists(aside) || platform::DirectoryExists(aside)) continue;
    if (platform::RenameFile(journalFile, aside)) return aside;
    break;
  }
  platform::RemoveFile(journalFile);
  return {};
}

void Refuse(const std::string& journalFile, const std::string& why, TRecoveryReport& r) {
  r = TRecoveryReport();
  r.Outcome = TRecoveryOutcome::roRefused;
  r.SetAsideAs = SetAside(journalFile);
  r.Problems.push_back("UpdateRecovery Refused:= " + PrintableName(journalFile) + " (" + PrintableName(why) +
                       "), nothing done, " +
                       (r.SetAsideAs.empty() ? std::string("removed") : "set aside as " + PrintableName(r.SetAsideAs)));
}

bool LoadJournal(const std::string& targetDir, const std::string& journalFile, TUpdateJournal& journal,
                 TRecoveryReport& r) {
  std::string text, why;
  if (!ReadJournalFile(journalFile, text)) {
    r.Outcome = TRecoveryOutcome::roFailed;
    r.Problems.push_back("UpdateRecovery Failed:= " + PrintableName(journalFile) + " (cannot be read)");
    return false;
  }
  switch (TUpdateJournal::Parse(text, targetDir, journal, why)) {
    case TJournalParse::jpOk: return true;
    case TJournalParse::jpNotStarted:
      // Cut short before its first line was on disk: no update step had begun.
      platform::RemoveFile(journalFile);
      r.Outcome = TRecoveryOutcome::roOld;
      return false;
    case TJournalParse::jpRefused: Refuse(journalFile, why, r); return false;
  }
  return false;
}

void LogOutcome(const TRecoveryReport& r) {
  for (const std::string& p : r.Problems) Log(p);
  switch (r.Outcome) {
    case TRecoveryOutcome::roOld:
      Log("UpdateRecovery:= unfinished update undone, the installed files are the old ones");
      break;
    case TRecoveryOutcome::roNew:
      Log("UpdateRecovery:= update completed, the installed files are the new ones (" + r.Version + ")");
      break;
    case TRecoveryOutcome::roLeftover:
      Log("UpdateRecovery:= " + std::to_string(r.Removed) + " leftover files removed");
      break;
    case TRecoveryOutcome::roFailed:
      Log("UpdateRecovery:= the unfinished update could not be carried out, kept for the next start");
      break;
    case TRecoveryOutcome::roTrial:
      Log("UpdateRecovery:= update on trial, its replaced files are kept until it starts healthily (" + r.Version +
          ")");
      break;
    case TRecoveryOutcome::roRolledBack:
      Log("UpdateRecovery:= rollback completed, the installed files are the old ones (" + r.Version + ")");
      break;
    case TRecoveryOutcome::roRefused:  // its one line is the problem's
    case TRecoveryOutcome::roNothing: break;
  }
}

TInstallReport RunInstall(const std::string& targetDir, const std::string& packageFile, const TPackageFile* package,
                          const std::string& journalFile, const std::string& version, const TInstallOptions& options) {
  TInstallReport report;
  try {
    TInstall(targetDir, packageFile, journalFile, options, report).Run(version, package);
  } catch (...) {
    // Out of memory and the like. Whatever was moved is undone by the next start.
    report.Installed = false;
    std::string line = "DirectoryDecompression Failed:= " + PrintableName(packageFile) + " (" +
                       base::ExceptionMessage(std::current_exception()) + ")";
    report.Problems.push_back(line);
    Log(line);
  }
  return report;
}

}  // namespace

TInstallReport InstallPackage(const std::string& targetDir, const std::string& packageFile,
                              const std::string& journalFile, const std::string& version,
                              const TInstallOptions& options) {
  return RunInstall(targetDir, packageFile, nullptr, journalFile, version, options);
}

TInstallReport InstallPackage(const std::string& targetDir, const TPackageFile& package, const std::string& journalFile,
                              const std::string& version, const TInstallOptions& options) {
  return RunInstall(targetDir, package.FileName(), &package, journalFile, version, options);
}

TInstallReport InstallBuilt(const std::string& targetDir, const std::vector<std::string>& names,
                            const std::vector<std::string>& removals, const TStageBuild& build,
                            const std::string& journalFile, const std::string& version,
                            const TInstallOptions& options) {
  TInstallReport report;
  try {
    TInstall(targetDir, std::string(), journalFile, options, report).RunBuilt(names, removals, build, version);
  } catch (...) {
    report.Installed = false;
    std::string line = "DirectoryDecompression Failed:= " + base::ExceptionMessage(std::current_exception());
    report.Problems.push_back(line);
    Log(line);
  }
  return report;
}

TRecoveryReport CompleteInstall(const std::string& targetDir, const std::string& journalFile) {
  TRecoveryReport r;
  try {
    TUpdateJournal journal;
    if (!platform::FileExists(journalFile)) return r;
    if (!LoadJournal(targetDir, journalFile, journal, r)) {
      for (const std::string& p : r.Problems) Log(p);
      return r;
    }
    if (journal.State == TJournalState::jsCommitted || journal.State == TJournalState::jsTrial ||
        journal.State == TJournalState::jsCleanup)
      r = Complete(journalFile, journal);
  } catch (...) {
    r.Outcome = TRecoveryOutcome::roFailed;
    r.Problems.push_back("UpdateRecovery Failed:= " + base::ExceptionMessage(std::current_exception()));
  }
  for (const std::string& p : r.Problems) Log(p);
  return r;
}

TRecoveryReport RecoverInstall(const std::string& targetDir, const std::string& journalFile) {
  TRecoveryReport r;
  try {
    if (!platform::FileExists(journalFile)) return r;
    TUpdateJournal journal;
    if (LoadJournal(targetDir, journalFile, journal, r)) {
      switch (journal.State) {
        case TJournalState::jsStaging:
          RemoveStage(journal);
          platform::RemoveFile(journalFile);
          r.Outcome = TRecoveryOutcome::roOld;
          break;
        case TJournalState::jsPlanned:
          r.Outcome =
              UndoMoves(journalFile, journal, r.Problems) ? TRecoveryOutcome::roOld : TRecoveryOutcome::roFailed;
          break;
        case TJournalState::jsTrial:
          // The launcher that started the trial died before it could judge the new version:
          // the next start judges it instead.
          r.Outcome = TRecoveryOutcome::roTrial;
          r.Version = journal.Version;
          break;
        case TJournalState::jsRollBack:
          r.Outcome =
              UndoMoves(journalFile, journal, r.Problems) ? TRecoveryOutcome::roRolledBack : TRecoveryOutcome::roFailed;
          r.Version = journal.Version;
          break;
        case TJournalState::jsCommitted:
        case TJournalState::jsCleanup: r = Complete(journalFile, journal); break;
      }
    }
  } catch (...) {
    r.Outcome = TRecoveryOutcome::roFailed;
    r.Problems.push_back("UpdateRecovery Failed:= " + base::ExceptionMessage(std::current_exception()));
  }
  LogOutcome(r);
  return r;
}

TRecoveryReport RecoverForeignJournal(const std::string& targetDir, const std::string& journalFile) {
  TRecoveryReport r;
  try {
    if (!platform::FileExists(journalFile)) return r;
    // While the program folder's own journal waits (its undo failed, the next start tries
    // again), the backups it lists are the only copies of the installed files: nothing
    // read from elsewhere may remove them first. This journal waits for a later start.
    std::string own = targetDir;
    if (!own.empty() && (own.back() == '\\' || own.back() == '/')) own.pop_back();
    if (platform::FileExists(own + "\\" + kJournalFileName)) return r;
    TUpdateJournal journal;
    if (LoadJournal(targetDir, journalFile, journal, r)) {
      if (journal.State == TJournalState::jsCommitted || journal.State == TJournalState::jsCleanup) {
        r = Complete(journalFile, journal);
        r.Version.clear();
        if (r.Outcome == TRecoveryOutcome::roNew) r.Outcome = TRecoveryOutcome::roLeftover;
      } else {
        Refuse(journalFile, "an unfinished update outside the program folder", r);
      }
    }
  } catch (...) {
    r.Outcome = TRecoveryOutcome::roFailed;
    r.Problems.push_back("UpdateRecovery Failed:= " + base::ExceptionMessage(std::current_exception()));
  }
  LogOutcome(r);
  return r;
}

bool BeginTrial(const std::string& targetDir, const std::string& journalFile) {
  try {
    TUpdateJournal journal;
    TRecoveryReport r;
    if (!platform::FileExists(journalFile) || !LoadJournal(targetDir, journalFile, journal, r)) return false;
    return journal.State == TJournalState::jsCommitted && AppendJournalFile(journalFile, "Trial\r\n");
  } catch (...) {
    return false;
  }
}

TRecoveryReport RollBackInstall(const std::string& targetDir, const std::string& journalFile,
                                const std::function<void(int32_t)>& beforeMove) {
  TRecoveryReport r;
  try {
    TUpdateJournal journal;
    if (!platform::FileExists(journalFile)) return r;
    if (LoadJournal(targetDir, journalFile, journal, r)) {
      r.Version = journal.Version;
      bool marked = journal.State == TJournalState::jsRollBack ||
                    (journal.State == TJournalState::jsTrial && AppendJournalFile(journalFile, "RollBack\r\n"));
      if (!marked) {
        r.Outcome = TRecoveryOutcome::roFailed;
        r.Problems.push_back("UpdateRollback Failed:= " + PrintableName(journalFile) + " (not an update on trial)");
      } else {
        r.Outcome = UndoMoves(journalFile, journal, r.Problems, beforeMove) ? TRecoveryOutcome::roRolledBack
                                                                            : TRecoveryOutcome::roFailed;
      }
    }
  } catch (...) {
    r.Outcome = TRecoveryOutcome::roFailed;
    r.Problems.push_back("UpdateRollback Failed:= " + base::ExceptionMessage(std::current_exception()));
  }
  for (const std::string& p : r.Problems) Log(p);
  return r;
}

}  // namespace package
