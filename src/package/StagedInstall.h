// Installing an update package into the program directory as one transaction: either
// every file of the package is in place or none of the installed files has changed.
//
//  - Stage: every index line is checked (the package as a whole, each name through
//    CheckEntryName) and every entry is inflated, to the end of its zlib stream, into a
//    staging folder inside the target directory (so on the same volume). Any failure
//    removes the staging folder; nothing installed has changed.
//  - Commit: for each file, the installed one (if any) is renamed aside to a backup name
//    and the staged one is renamed into its place. Renaming, unlike deleting or
//    truncating, works for the running launcher and its loaded DLLs. Any failure undoes
//    every move made so far.
//  - The journal (UpdateJournal.h) lists the moves before the first one is made, so
//    RecoverInstall at the next start can finish or undo an update whose process died.
//    Every staged file is written through to the disk before the journal plans its move,
//    so a power cut cannot leave a committed journal pointing at data never written.
//    The journal belongs in targetDir (kJournalFileName); recovery carries out only a
//    journal whose every line has the shape the install writes for targetDir, and sets
//    any other aside unexecuted.
//
// Each entry is inflated exactly once, on every processor at once (StageInflater.h); the
// log and the report read as if the entries were inflated one after the other. Bytes
// after the end of an entry's zlib stream are ignored with a warning, as the in-place
// extractor does. When the index names one file twice the later entry wins. Folders created for new files stay when a
// commit is undone. Every problem is logged as one line with the "[Splash]" tag.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "package/UpdateJournal.h"

namespace package {

class TPackageFile;

struct TInstallOptions {
  // Called before move index (0-based) of the commit; a test holds the commit here.
  std::function<void(int32_t)> BeforeMove;
  // Called on the installing thread while the entries are staged (about every 100 ms
  // while it waits, and after each entry): the compressed bytes of the package read so far
  // and in all (0 of all before the first), never going down.
  std::function<void(int64_t done, int64_t total)> OnProgress;
};

struct TInstallReport {
  bool Installed = false;             // every file is in place (the journal says Committed)
  int32_t Lines = 0;                  // index lines of the package
  int32_t Files = 0;                  // files moved into place
  int64_t Bytes = 0;                  // bytes inflated
  std::vector<std::string> Problems;  // one line per cause of failure, as logged
};

// Stages and commits packageFile into targetDir (one trailing separator ignored), with
// the journal at journalFile and version recorded in it. On success the journal stays
// in its committed state until CompleteInstall, so that a process that dies before it
// has recorded the version still gets it recorded by RecoverInstall. Refuses to start
// while a journal exists (an earlier update must be recovered first), and refuses what
// its journal could not describe: a version that is not one (IsJournalVersion), more
// than kMaxJournalEntries files, paths over kMaxJournalPath. Never raises.
TInstallReport InstallPackage(const std::string& targetDir, const std::string& packageFile,
                              const std::string& journalFile, const std::string& version,
                              const TInstallOptions& options = {});
// The same from a package already open (the one whose digest was checked): nothing of it
// is read by name again.
TInstallReport InstallPackage(const std::string& targetDir, const TPackageFile& package, const std::string& journalFile,
                              const std::string& version, const TInstallOptions& options = {});

// The same transaction for updates that build their staged files themselves (deltas):
// build receives the staged file of each of names, in order, writes them, and returns
// empty or why it failed (logged and reported); removals are installed files the update
// deletes (set aside at commit like replaced files; missing ones are skipped). Refuses
// to start while a journal exists, as InstallPackage does. Never raises.
using TStageBuild = std::function<std::string(const std::vector<std::string>& stagedFiles)>;
TInstallReport InstallBuilt(const std::string& targetDir, const std::vector<std::string>& names,
                            const std::vector<std::string>& removals, const TStageBuild& build,
                            const std::string& journalFile, const std::string& version,
                            const TInstallOptions& options = {});

enum class TRecoveryOutcome {
  roNothing,     // no journal
  roOld,         // an unfinished update was undone: the installed files are the old ones
  roNew,         // a committed update was completed: the files are the new ones
  roLeftover,    // only files set aside by an earlier update were removed
  roFailed,      // the journal could not be carried out (it stays for the next start)
  roRefused,     // the journal is not one the install wrote for this folder: set aside, nothing done
  roTrial,       // a committed update is on trial: nothing done, its backups stay
  roRolledBack,  // an update whose trial failed was undone: the installed files are the old ones
};

struct TRecoveryReport {
  TRecoveryOutcome Outcome = TRecoveryOutcome::roNothing;
  std::string Version;                // roNew, roTrial, roRolledBack: the version the update installed
  int32_t Removed = 0;                // backups and leftovers removed
  int32_t Remaining = 0;              // leftovers still in use (left for the next start)
  std::vector<std::string> Problems;  // as logged
  std::string SetAsideAs;             // roRefused: where the journal now is (empty: removed)
};

// Removes the backups of a committed update (or one that passed its trial) and then the
// journal; files still in use are listed in a cleanup journal for the next start. Never
// raises.
TRecoveryReport CompleteInstall(const std::string& targetDir, const std::string& journalFile);

// Puts a committed update on trial: its backups stay until CompleteInstall (the new
// version started healthily) or RollBackInstall (it did not). Until then RecoverInstall
// leaves it alone (roTrial). False, with the journal as it was, when the journal is not
// a committed one or cannot be written. Never raises.
bool BeginTrial(const std::string& targetDir, const std::string& journalFile);

// Undoes an update on trial: marks the journal RollBack, then puts every installed file
// back as it was, through the same undo as an unfinished commit. A process that dies
// midway leaves a journal whose RollBack the next RecoverInstall finishes. beforeMove
// (may be empty) is called before each file is put back; a test holds the undo there.
// roRolledBack with the version that was undone, roFailed when a file could not be put
// back (the journal stays for the next start). Never raises.
TRecoveryReport RollBackInstall(const std::string& targetDir, const std::string& journalFile,
                                const std::function<void(int32_t)>& beforeMove = {});

// The next start's side: finishes (roNew), undoes (roOld) or cleans up after whatever
// the journal describes for targetDir. Run before anything else uses the program
// directory; logs one line that says which. A journal that fails its check is renamed
// aside (journalFile + ".refused", numbered when taken) and kept for diagnosis, nothing
// is moved, and the one line says why (roRefused). Never raises.
TRecoveryReport RecoverInstall(const std::string& targetDir, const std::string& journalFile);

// A journal left where others than the program's owners may write (an earlier
// launcher's, in the product data folder): checked like any other, but only the
// leftovers of a finished update (backup and discard files, which hold nothing but old
// program files) are removed; its version is never reported, and a journal of an
// unfinished update is set aside like a refused one (roRefused), since its moves could
// be planted. Left alone (roNothing) while targetDir holds its own journal
// (kJournalFileName): the backups that one still needs are not removed. Never raises.
TRecoveryReport RecoverForeignJournal(const std::string& targetDir, const std::string& journalFile);

}  // namespace package
