// The update journal: what an update that replaces program files is about to do, kept on
// disk so that a process killed half-way can be finished or undone by the next start.
// A small text file (8-bit, CR LF lines) that grows in steps, each written through to
// the disk before the step it announces begins:
//
//   [OrbelleUpdateJournal]
//   Version=<offered version>          recorded by whoever completes the update
//   Stage=<staging folder>             <stage>\<n>.new holds entry n inflated
//   Entries=<n>                        staged files 0 .. n-1 (some may not exist yet)
//   Move=<target>|<backup>|<staged>    one per file; backup empty when the target is new,
//                                      staged empty when the update removes the target
//   Planned                            every Move line is written; moves may begin
//   Committed                          every move is made; the new files are in place
//   Trial                              the new files start on trial: the backups stay
//   RollBack                           the trial failed: the moves are being undone
//
// or, for files that could not be removed yet (a running image, a loaded library):
//
//   [OrbelleUpdateJournal]
//   Remove=<path>
//   Cleanup
//
// Paths are full Windows paths, which never contain '|'. A line a kill cut short (no
// line break yet) is ignored; nothing is moved before "Planned" is on disk.
//
// The next start acts on the journal with the rights of whoever starts the program, so
// it is read as untrusted input: every line must have exactly the shape the install
// writes for the program folder it is checked against (Parse), or none of it is carried
// out. The journal itself belongs inside that folder (kJournalFileName), where only those
// who may change the program files can write.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace package {

// Name of the journal inside the program folder.
constexpr const char* kJournalFileName = "~OrbelleUpdate.journal";
// Name of the staging folder inside the target directory (a number from 2 to
// kMaxFreeNameNumber is added when a folder of that name is in the way).
constexpr const char* kStageFolderName = "~OrbelleUpdate.stage";
// Every name the update itself uses in the program folder begins with this (the
// journal, the staging folder, a journal set aside); no package may name one.
constexpr const char* kReservedNamePrefix = "~OrbelleUpdate.";
// Added to an installed file's name while it is set aside (a number from 2 to
// kMaxFreeNameNumber follows when that name is taken).
constexpr const char* kBackupSuffix = ".~orbelle-old";
// Added to a file an undone update could not delete yet (same numbering).
constexpr const char* kDiscardSuffix = ".~orbelle-discard";
constexpr int32_t kMaxFreeNameNumber = 1001;

// Limits of a journal that is read back: more files than any package the install takes
// (InstallPackage refuses larger ones), paths far beyond what Windows creates below a
// program folder, and the file size that follows from both.
constexpr int32_t kMaxJournalEntries = 100000;
constexpr size_t kMaxJournalPath = 2048;
constexpr size_t kMaxJournalLine = 3 * kMaxJournalPath + 16;
constexpr int64_t kMaxJournalSize = 16 << 20;

struct TJournalMove {
  std::string Target;
  std::string Backup;  // empty: the target did not exist
  std::string Staged;
};

enum class TJournalState {
  jsStaging,    // entries are being inflated; nothing installed has changed
  jsPlanned,    // moves may have been made: undo them
  jsCommitted,  // every move was made: remove the backups
  jsTrial,      // the new files are on trial: keep the backups until the launcher decides
  jsRollBack,   // the trial failed: undo the moves
  jsCleanup,    // only leftovers to remove
};

enum class TJournalParse {
  jpOk,          // journal holds what the file says
  jpNotStarted,  // its first line never reached the disk: no update step had begun
  jpRefused,     // not a journal the install wrote for this folder: carry out nothing
};

struct TUpdateJournal {
  TJournalState State = TJournalState::jsStaging;
  std::string Version;
  std::string Stage;
  int32_t Entries = 0;
  std::vector<TJournalMove> Moves;
  std::vector<std::string> Removals;

  // The staged file of entry index.
  std::string StagedFile(int32_t index) const;

  // The text of the header (Version, Stage, Entries), of the plan (Move lines and
  // "Planned"), and of a cleanup journal.
  std::string HeaderText() const;
  std::string PlanText() const;
  std::string CleanupText() const;

  // Parses a journal's text and checks every complete line against what the install
  // writes for targetDir (one trailing separator ignored): the lines in their order,
  // each at most once where it can only come once, at most kMaxJournalLine bytes; a
  // version of 1 to 8 decimal numbers; the staging folder (with its number) directly in
  // targetDir; at most kMaxJournalEntries entries and no more moves than entries; every
  // target a safe relative name below targetDir that is not one the update reserves, no
  // target twice; every backup the target's name with kBackupSuffix (and its number);
  // every staged file "<n>.new" in the staging folder with n below Entries, none twice;
  // every leftover to remove a backup or discard name below targetDir. problem says
  // which line failed and why when the result is jpRefused.
  static TJournalParse Parse(std::string_view text, std::string_view targetDir, TUpdateJournal& journal,
                             std::string& problem);
};

// True when relativeName (below the program folder) names something the update itself
// uses there: a name beginning with kReservedNamePrefix, or any part holding a backup or
// discard suffix.
bool IsReservedUpdateName(std::string_view relativeName);

// A version as the journal may carry it: 1 to 8 decimal numbers of 1 to 9 digits
// separated by single dots.
bool IsJournalVersion(std::string_view version);

// Creates (or replaces) the file with text and writes it through to the disk.
bool WriteJournalFile(const std::string& path, const std::string& text);
// Adds text at the end of the file and writes it through to the disk.
bool AppendJournalFile(const std::string& path, const std::string& text);
// The whole file; false when it cannot be opened or read. A file over kMaxJournalSize is
// read only up to one byte past the limit (so the caller sees it is too large).
bool ReadJournalFile(const std::string& path, std::string& text);

}  // namespace package
