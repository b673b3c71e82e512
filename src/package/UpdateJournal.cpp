#include "package/UpdateJournal.h"

#include <algorithm>

#include "base/Strings.h"
#include "platform/Files.h"

namespace package {
namespace {

const char kHeader[] = "[OrbelleUpdateJournal]";

bool TakeValue(const std::string& line, const char* key, std::string& value) {
  size_t n = std::char_traits<char>::length(key);
  if (line.compare(0, n, key) != 0) return false;
  value = line.substr(n);
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

}  // namespace

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

bool TUpdateJournal::Parse(const std::string& text, TUpdateJournal& j) {
  j = TUpdateJournal();
  // Only complete lines count: the last one may have been cut short by a kill.
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\n') continue;
    size_t end = i > start && text[i - 1] == '\r' ? i - 1 : i;
    lines.push_back(text.substr(start, end - start));
    start = i + 1;
  }
  if (lines.empty() || lines[0] != kHeader) return false;
  bool planned = false, committed = false, cleanup = false;
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    std::string v;
    if (TakeValue(line, "Version=", v)) {
      j.Version = v;
    } else if (TakeValue(line, "Stage=", v)) {
      j.Stage = v;
    } else if (TakeValue(line, "Entries=", v)) {
      int32_t n = 0;
      if (base::TryStrToInt(v, n) && n >= 0) j.Entries = n;
    } else if (TakeValue(line, "Move=", v) && !planned) {
      size_t a = v.find('|'), b = a == std::string::npos ? a : v.find('|', a + 1);
      if (b == std::string::npos) continue;
      j.Moves.push_back({v.substr(0, a), v.substr(a + 1, b - a - 1), v.substr(b + 1)});
    } else if (TakeValue(line, "Remove=", v)) {
      if (!v.empty()) j.Removals.push_back(v);
    } else if (line == "Planned") {
      planned = true;
    } else if (line == "Committed") {
      committed = planned;
    } else if (line == "Cleanup") {
      cleanup = true;
    }
  }
  j.State = cleanup     ? TJournalState::jsCleanup
            : committed ? TJournalState::jsCommitted
            : planned   ? TJournalState::jsPlanned
                        : TJournalState::jsStaging;
  if (!planned) j.Moves.clear();
  return true;
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
  int64_t size = platform::FileSize(path);
  if (size < 0 || size > kMaxJournalSize) return false;
  platform::FileHandle h = platform::FileOpen(path, platform::fmOpenRead | platform::fmShareDenyNone);
  if (h == platform::kInvalidFile) return false;
  text.assign(static_cast<size_t>(size), '\0');
  int64_t done = 0;
  while (done < size) {
    int32_t n =
        platform::FileRead(h, text.data() + done, static_cast<int32_t>(std::min<int64_t>(size - done, 1 << 20)));
    if (n <= 0) break;
    done += n;
  }
  platform::FileClose(h);
  text.resize(static_cast<size_t>(done));
  return true;
}

}  // namespace package
