// The update journal: what an update that replaces program files is about to do, kept on
// disk so that a process killed half-way can be finished or undone by the next start.
// A small text file (8-bit, CR LF lines) that grows in steps, each written through to
// the disk before the step it announces begins:
//
//   [OrbelleUpdateJournal]
//   Version=<offered version>          recorded by whoever completes the update
//   Stage=<staging folder>             <stage>\<n>.new holds entry n inflated
//   Entries=<n>                        staged files 0 .. n-1 (some may not exist yet)
//   Move=<target>|<backup>|<staged>    one per file; backup empty when the target is new
//   Planned                            every Move line is written; moves may begin
//   Committed                          every move is made; the new files are in place
//
// or, for files that could not be removed yet (a running image, a loaded library):
//
//   [OrbelleUpdateJournal]
//   Remove=<path>
//   Cleanup
//
// Paths are full Windows paths, which never contain '|'. Lines a kill cut short are
// ignored; nothing is moved before "Planned" is on disk.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace package {

struct TJournalMove {
  std::string Target;
  std::string Backup;  // empty: the target did not exist
  std::string Staged;
};

enum class TJournalState {
  jsStaging,    // entries are being inflated; nothing installed has changed
  jsPlanned,    // moves may have been made: undo them
  jsCommitted,  // every move was made: remove the backups
  jsCleanup,    // only leftovers to remove
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

  // Parses a journal's text; false when it is not one.
  static bool Parse(const std::string& text, TUpdateJournal& journal);
};

// Largest journal read back (a line per file; far beyond any package).
constexpr int64_t kMaxJournalSize = 64 << 20;

// Creates (or replaces) the file with text and writes it through to the disk.
bool WriteJournalFile(const std::string& path, const std::string& text);
// Adds text at the end of the file and writes it through to the disk.
bool AppendJournalFile(const std::string& path, const std::string& text);
// The whole file; false when it cannot be read or is over kMaxJournalSize.
bool ReadJournalFile(const std::string& path, std::string& text);

}  // namespace package
