// Arbitrary bytes as an update journal found at the start, checked against the program
// folder C:\Prog: the check must return without crash, hang or sanitizer report, and a
// journal it accepts must describe only what the install itself could have written:
// every path inside the folder, the moves within the entries, each staged file and
// target once. Written out again with the install's own text, an accepted journal must
// read back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

#include "package/UpdateJournal.h"

namespace {

const std::string kDir = "C:\\Prog";

std::string Fold(std::string s) {
  for (char& c : s) c = c == '/' ? '\\' : (c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c);
  return s;
}

// Below the folder, with no part that climbs out and no drive or stream after it.
bool Inside(const std::string& path) {
  std::string f = Fold(path) + "\\";
  return path.size() > kDir.size() + 1 && f.compare(0, kDir.size() + 1, Fold(kDir + "\\")) == 0 &&
         f.find("\\..\\") == std::string::npos && f.find(':', 2) == std::string::npos;
}

bool Same(const package::TUpdateJournal& a, const package::TUpdateJournal& b) {
  if (a.State != b.State || a.Version != b.Version || a.Stage != b.Stage || a.Entries != b.Entries ||
      a.Moves.size() != b.Moves.size() || a.Removals != b.Removals)
    return false;
  for (size_t i = 0; i < a.Moves.size(); ++i)
    if (a.Moves[i].Target != b.Moves[i].Target || a.Moves[i].Backup != b.Moves[i].Backup ||
        a.Moves[i].Staged != b.Moves[i].Staged)
      return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  package::TUpdateJournal j;
  std::string problem;
  if (package::TUpdateJournal::Parse(text, kDir, j, problem) != package::TJournalParse::jpOk) return 0;

  if (j.Entries < 0 || j.Entries > package::kMaxJournalEntries || j.Moves.size() > static_cast<size_t>(j.Entries))
    std::abort();
  if (!j.Version.empty() && !package::IsJournalVersion(j.Version)) std::abort();
  if (!j.Stage.empty() && !Inside(j.Stage)) std::abort();
  std::set<std::string> targets, staged;
  for (const package::TJournalMove& m : j.Moves) {
    if (!Inside(m.Target) || (!m.Backup.empty() && !Inside(m.Backup)) || !Inside(m.Staged)) std::abort();
    if (!targets.insert(Fold(m.Target)).second || !staged.insert(Fold(m.Staged)).second) std::abort();
  }
  for (const std::string& r : j.Removals)
    if (!Inside(r)) std::abort();

  std::string again;
  switch (j.State) {
    case package::TJournalState::jsCleanup: again = j.CleanupText(); break;
    case package::TJournalState::jsCommitted: again = j.HeaderText() + j.PlanText() + "Committed\r\n"; break;
    case package::TJournalState::jsTrial: again = j.HeaderText() + j.PlanText() + "Committed\r\nTrial\r\n"; break;
    case package::TJournalState::jsRollBack:
      again = j.HeaderText() + j.PlanText() + "Committed\r\nTrial\r\nRollBack\r\n";
      break;
    case package::TJournalState::jsPlanned: again = j.HeaderText() + j.PlanText(); break;
    case package::TJournalState::jsStaging: return 0;  // its header may be cut short
  }
  package::TUpdateJournal k;
  if (package::TUpdateJournal::Parse(again, kDir, k, problem) != package::TJournalParse::jpOk || !Same(j, k))
    std::abort();
  return 0;
}
