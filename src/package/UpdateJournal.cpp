#include "package/UpdateJournal.h"

#include <algorithm>
#include <set>

#include "base/Format.h"
#include "base/Strings.h"
#include "package/EntryName.h"
#include "platform/Files.h"

namespace package {
namespace {

const char kHeader[] = "[OrbelleUpdateJournal]";

bool TakeValue(std::string_view line, std::string_view key, std::string_view& value) {
  if (line.substr(0, key.size()) != key) return false;
  value = line.substr(key.size());
  return true;
}

bool WriteAll(platform::FileHandle h, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    size_t chunk = std::min<size_t>(text.size() - done, 1 << 20);
    int32_t n = platform::FileWrite(h, text.data() + done, static_cast<int32_t>(chunk));
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return platform::FileFlush(h);
}

std::string Fold(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = c == '/' ? '\\' : (c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c);
  return r;
}

// Decimal digits without a leading zero (or "0"), at most 9 of them.
bool SmallNumber(std::string_view s, int32_t& value) {
  if (s.empty() || s.size() > 9 || (s.size() > 1 && s[0] == '0')) return false;
  int32_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  value = v;
  return true;
}

// path is base itself, or base followed by a number from 2 to kMaxFreeNameNumber (the
// names FreeName and the staging folder's search make), compared without regard to case.
bool IsNumberedName(std::string_view path, std::string_view base) {
  if (path.size() < base.size() || Fold(path.substr(0, base.size())) != Fold(base)) return false;
  if (path.size() == base.size()) return true;
  int32_t n = 0;
  return SmallNumber(path.substr(base.size()), n) && n >= 2 && n <= kMaxFreeNameNumber;
}

// Checks the shapes of one journal against the program folder it belongs to.
class TJournalChecker {
 public:
  TJournalChecker(std::string_view targetDir, TUpdateJournal& journal, std::string& problem)
      : FDir(targetDir), FJournal(journal), FProblem(problem) {
    if (!FDir.empty() && (FDir.back() == '\\' || FDir.back() == '/')) FDir.pop_back();
  }

  bool Line(std::string_view line, int32_t number);
  bool Planned() const { return FPhase >= TPhase::Planned && FPhase <= TPhase::RollBack; }
  bool Committed() const { return FPhase == TPhase::Committed; }
  bool Trial() const { return FPhase == TPhase::Trial; }
  bool RollBack() const { return FPhase == TPhase::RollBack; }
  bool Cleanup() const { return FPhase == TPhase::Cleanup; }

 private:
  enum class TPhase { Header, Version, Stage, Entries, Moves, Planned, Committed, Trial, RollBack, Removals, Cleanup };

  bool Refuse(int32_t number, const std::string& why) {
    FProblem = base::Format("line %d: %s", number, why);
    return false;
  }
  // The part of path below the program folder, when path is a safe name there.
  bool Below(std::string_view path, std::string& relative, std::string& why) const;
  bool Move(std::string_view value, std::string& why);
  bool Removal(std::string_view value, std::string& why);

  std::string FDir;
  TUpdateJournal& FJournal;
  std::string& FProblem;
  TPhase FPhase = TPhase::Header;
  std::set<std::string> FTargets;  // folded
  std::vector<bool> FStagedUsed;
};

bool TJournalChecker::Below(std::string_view path, std::string& relative, std::string& why) const {
  if (path.size() > kMaxJournalPath) return (why = "path too long"), false;
  if (path.size() <= FDir.size() + 1 || Fold(path.substr(0, FDir.size())) != Fold(FDir) ||
      (path[FDir.size()] != '\\' && path[FDir.size()] != '/'))
    return (why = "\"" + PrintableName(path) + "\" is not inside the program folder"), false;
  relative = std::string(path.substr(FDir.size() + 1));
  std::string bad = CheckEntryName(relative);
  if (!bad.empty()) return (why = "\"" + PrintableName(path) + "\": " + bad), false;
  return true;
}

bool TJournalChecker::Move(std::string_view value, std::string& why) {
  size_t a = value.find('|'), b = a == std::string_view::npos ? a : value.find('|', a + 1);
  if (b == std::string_view::npos || value.find('|', b + 1) != std::string_view::npos)
    return (why = "not three paths"), false;
  std::string_view target = value.substr(0, a), backup = value.substr(a + 1, b - a - 1), staged = value.substr(b + 1);
  std::string relative;
  if (!Below(target, relative, why)) return false;
  if (IsReservedUpdateName(relative)) return (why = "the target is a name the update itself uses"), false;
  if (!FTargets.insert(Fold(target)).second) return (why = "the target is named twice"), false;
  if (!backup.empty() && !IsNumberedName(backup, std::string(target) + kBackupSuffix))
    return (why = "the backup is not the target's backup name"), false;
  if (staged.empty()) {
    // A removal (a delta's): the target is set aside and nothing takes its place.
    if (backup.empty()) return (why = "a removal without its backup name"), false;
    FJournal.Moves.push_back({std::string(target), std::string(backup), std::string()});
    return true;
  }
  std::string stagePrefix = FJournal.Stage + "\\";
  int32_t n = 0;
  if (staged.size() <= stagePrefix.size() + 4 || Fold(staged.substr(0, stagePrefix.size())) != Fold(stagePrefix) ||
      Fold(staged.substr(staged.size() - 4)) != ".NEW" ||
      !SmallNumber(staged.substr(stagePrefix.size(), staged.size() - stagePrefix.size() - 4), n))
    return (why = "the staged file is not one of the staging folder"), false;
  if (n >= FJournal.Entries || FStagedUsed[static_cast<size_t>(n)])
    return (why = "the staged file is not one of the entries, or named twice"), false;
  FStagedUsed[static_cast<size_t>(n)] = true;
  FJournal.Moves.push_back({std::string(target), std::string(backup), std::string(staged)});
  return true;
}

bool TJournalChecker::Removal(std::string_view value, std::string& why) {
  std::string relative;
  if (!Below(value, relative, why)) return false;
  size_t cut = value.rfind(".~");
  if (cut == std::string_view::npos || (!IsNumberedName(value, std::string(value.substr(0, cut)) + kBackupSuffix) &&
                                        !IsNumberedName(value, std::string(value.substr(0, cut)) + kDiscardSuffix)))
    return (why = "not a file an update sets aside"), false;
  if (FJournal.Removals.size() >= static_cast<size_t>(kMaxJournalEntries)) return (why = "too many files"), false;
  FJournal.Removals.emplace_back(value);
  return true;
}

bool TJournalChecker::Line(std::string_view line, int32_t number) {
  std::string why;
  std::string_view v;
  if (line.size() > kMaxJournalLine) return Refuse(number, "line too long");
  if (FPhase == TPhase::Header) {
    if (line != kHeader) return Refuse(number, "not a journal header");
    FPhase = TPhase::Version;
    return true;
  }
  bool afterHeader = FJournal.Version.empty() && FJournal.Removals.empty() && FPhase == TPhase::Version;
  if (TakeValue(line, "Version=", v)) {
    if (!afterHeader) return Refuse(number, "Version out of place");
    if (!IsJournalVersion(v)) return Refuse(number, "\"" + PrintableName(v.substr(0, 64)) + "\" is not a version");
    FJournal.Version = std::string(v);
    FPhase = TPhase::Stage;
  } else if (TakeValue(line, "Stage=", v)) {
    if (FPhase != TPhase::Stage) return Refuse(number, "Stage out of place");
    if (v.size() > kMaxJournalPath || !IsNumberedName(v, FDir + "\\" + kStageFolderName))
      return Refuse(number, "\"" + PrintableName(v.substr(0, 2 * kMaxJournalPath)) +
                                "\" is not the staging folder of the program folder");
    FJournal.Stage = std::string(v);
    FPhase = TPhase::Entries;
  } else if (TakeValue(line, "Entries=", v)) {
    int32_t n = 0;
    if (FPhase != TPhase::Entries) return Refuse(number, "Entries out of place");
    if (!SmallNumber(v, n) || n > kMaxJournalEntries)
      return Refuse(number, base::Format("Entries is not a count from 0 to %d", kMaxJournalEntries));
    FJournal.Entries = n;
    FStagedUsed.assign(static_cast<size_t>(n), false);
    FPhase = TPhase::Moves;
  } else if (TakeValue(line, "Move=", v)) {
    if (FPhase != TPhase::Moves) return Refuse(number, "Move out of place");
    if (!Move(v, why)) return Refuse(number, "Move " + why);
  } else if (line == "Planned") {
    if (FPhase != TPhase::Moves) return Refuse(number, "Planned out of place");
    FPhase = TPhase::Planned;
  } else if (line == "Committed") {
    if (FPhase != TPhase::Planned) return Refuse(number, "Committed out of place");
    FPhase = TPhase::Committed;
  } else if (line == "Trial") {
    if (FPhase != TPhase::Committed) return Refuse(number, "Trial out of place");
    FPhase = TPhase::Trial;
  } else if (line == "RollBack") {
    if (FPhase != TPhase::Trial) return Refuse(number, "RollBack out of place");
    FPhase = TPhase::RollBack;
  } else if (TakeValue(line, "Remove=", v)) {
    if (FPhase != TPhase::Removals && !afterHeader) return Refuse(number, "Remove out of place");
    if (!Removal(v, why)) return Refuse(number, "Remove " + why);
    FPhase = TPhase::Removals;
  } else if (line == "Cleanup") {
    if (FPhase != TPhase::Removals && !afterHeader) return Refuse(number, "Cleanup out of place");
    FPhase = TPhase::Cleanup;
  } else {
    return Refuse(number, "\"" + PrintableName(line.substr(0, 64)) + "\" is not a journal line");
  }
  return true;
}

}  // namespace

bool IsReservedUpdateName(std::string_view relativeName) {
  std::string folded = Fold(relativeName);
  return folded.rfind(Fold(kReservedNamePrefix), 0) == 0 || folded.find(".~ORBELLE-") != std::string::npos;
}

bool IsJournalVersion(std::string_view version) {
  int32_t numbers = 0;
  size_t start = 0;
  for (;;) {
    size_t dot = version.find('.', start);
    std::string_view part = version.substr(start, dot == std::string_view::npos ? version.npos : dot - start);
    if (part.empty() || part.size() > 9 || ++numbers > 8) return false;
    for (char c : part)
      if (c < '0' || c > '9') return false;
    if (dot == std::string_view::npos) return true;
    start = dot + 1;
  }
}

std::string TUpdateJournal::StagedFile(int32_t index) const { return Stage + "\\" + std::to_string(index) + ".new"; }

std::string TUpdateJournal::HeaderText() const {
  return std::string(kHeader) + "\r\nVersion=" + Version + "\r\nStage=" + Stage +
         "\r\nEntries=" + std::to_string(Entries) + "\r\n";
}

std::string TUpdateJournal::PlanText() const {
  std::string s;
  for (const TJournalMove& m : Moves) s += "Move=" + m.Target + "|" + m.Backup + "|" + m.Staged + "\r\n";
  return s + "Planned\r\n";
}

std::string TUpdateJournal::CleanupText() const {
  std::string s = std::string(kHeader) + "\r\n";
  for (const std::string& r : Removals) s += "Remove=" + r + "\r\n";
  return s + "Cleanup\r\n";
}

TJournalParse TUpdateJournal::Parse(std::string_view text, std::string_view targetDir, TUpdateJournal& j,
                                    std::string& problem) {
  j = TUpdateJournal();
  problem.clear();
  if (text.size() > static_cast<size_t>(kMaxJournalSize)) {
    problem = base::Format("larger than %d bytes", kMaxJournalSize);
    return TJournalParse::jpRefused;
  }
  TJournalChecker checker(targetDir, j, problem);
  // Only complete lines count: the last one may have been cut short by a kill. The
  // install ends every line with CR LF.
  size_t start = 0;
  int32_t number = 0;
  for (size_t lf = text.find('\n'); lf != std::string_view::npos; lf = text.find('\n', start)) {
    ++number;
    if (lf == start || text[lf - 1] != '\r') {
      problem = base::Format("line %d does not end in CR LF", number);
      j = TUpdateJournal();
      return TJournalParse::jpRefused;
    }
    if (!checker.Line(text.substr(start, lf - 1 - start), number)) {
      j = TUpdateJournal();
      return TJournalParse::jpRefused;
    }
    start = lf + 1;
  }
  if (number == 0) {
    // The header's own line was cut short: what is there must be the start of it.
    std::string_view head = kHeader;
    if (text.size() <= head.size() + 1 && (std::string(kHeader) + "\r").compare(0, text.size(), text) == 0)
      return TJournalParse::jpNotStarted;
    problem = "not a journal header";
    return TJournalParse::jpRefused;
  }
  j.State = checker.Cleanup()     ? TJournalState::jsCleanup
            : checker.RollBack()  ? TJournalState::jsRollBack
            : checker.Trial()     ? TJournalState::jsTrial
            : checker.Committed() ? TJournalState::jsCommitted
            : checker.Planned()   ? TJournalState::jsPlanned
                                  : TJournalState::jsStaging;
  // Moves without "Planned" were never begun; leftovers without "Cleanup" are left alone.
  if (!checker.Planned()) j.Moves.clear();
  if (!checker.Cleanup()) j.Removals.clear();
  return TJournalParse::jpOk;
}

bool WriteJournalFile(const std::string& path, const std::string& text) {
  platform::FileHandle h = platform::FileCreate(path, platform::fmShareExclusive);
  if (h == platform::kInvalidFile) return false;
  bool ok = WriteAll(h, text);
  platform::FileClose(h);
  return ok;
}

bool AppendJournalFile(const std::string& path, const std::string& text) {
  platform::FileHandle h = platform::FileOpen(path, platform::fmOpenReadWrite | platform::fmShareExclusive);
  if (h == platform::kInvalidFile) return false;
  bool ok = platform::FileSeek(h, 0, platform::SeekOrigin::End) >= 0 && WriteAll(h, text);
  platform::FileClose(h);
  return ok;
}

bool ReadJournalFile(const std::string& path, std::string& text) {
  text.clear();
  platform::FileHandle h = platform::FileOpen(path, platform::fmOpenRead | platform::fmShareDenyNone);
  if (h == platform::kInvalidFile) return false;
  // Read from the open handle, not by the size its name had a moment before.
  bool ok = true;
  char buffer[1 << 16];
  while (text.size() <= static_cast<size_t>(kMaxJournalSize)) {
    int32_t n = platform::FileRead(h, buffer, sizeof buffer);
    if (n < 0) ok = false;
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  platform::FileClose(h);
  if (text.size() > static_cast<size_t>(kMaxJournalSize) + 1) text.resize(static_cast<size_t>(kMaxJournalSize) + 1);
  return ok;
}

}  // namespace package
