#include "launcher/LaunchRules.h"

#include <cstdint>

#include "base/Format.h"

namespace launcher {

base::WideString ProgramDirFromModulePath(std::u16string_view modulePath) {
  size_t cut = modulePath.find_last_of(u"\\:");
  base::WideString dir(cut == std::u16string_view::npos ? std::u16string_view() : modulePath.substr(0, cut + 1));
  size_t n = dir.size();
  if (n >= 1 && dir[n - 1] == u'\\') {
    bool keep = n >= 2 && (dir[n - 2] == u':' || dir[n - 2] == u'\\');
    if (!keep) dir.pop_back();
  }
  if (dir.empty() || dir.back() != u'\\') dir.push_back(u'\\');
  return dir;
}

base::AnsiString FormatFileVersion(uint32_t versionMS, uint32_t versionLS) {
  return base::Format("%d.%d.%d", versionMS >> 16, versionMS & 0xFFFF, versionLS >> 16);
}

base::AnsiString ChooseLogFileName(const std::function<bool(const base::AnsiString& name)>& inUse) {
  const base::AnsiString first = "Log.txt";
  base::AnsiString ext = base::ExtractFileExt(first);
  base::AnsiString stem = first.substr(0, first.size() - ext.size());
  if (ext.empty()) ext = ".txt";
  base::AnsiString name = first;
  for (int n = 1; inUse(name); ++n) name = base::Format("%s(%d)%s", stem, n, ext);
  return name;
}

// The same notice in every row; only the version format could differ by language.
const TSplashText SplashTextTable[kSplashTextRows] = {
    {"ENG", "Version: %s", "Copyright (C) Norvale Orbelle. All rights reserved.", u"Downloading update",
     u"Installing update"},
    {"CHS", "Version: %s", "Copyright (C) Norvale Orbelle. All rights reserved.",
     u"\u6B63\u5728\u4E0B\u8F7D\u66F4\u65B0", u"\u6B63\u5728\u5B89\u88C5\u66F4\u65B0"},
    {"CHT", "Version: %s", "Copyright (C) Norvale Orbelle. All rights reserved.",
     u"\u6B63\u5728\u4E0B\u8F09\u66F4\u65B0", u"\u6B63\u5728\u5B89\u88DD\u66F4\u65B0"},
};

int SelectSplashTextRow(std::string_view languageCode) {
  for (int i = 0; i < kSplashTextRows; ++i)
    if (base::SameText(SplashTextTable[i].Code, languageCode)) return i;
  return 0;
}

base::AnsiString FormatByteCount(int64_t bytes) {
  if (bytes < 0) bytes = 0;
  if (bytes < 1024) return base::Format("%d B", bytes);
  static const char* const kUnits[] = {"KB", "MB", "GB", "TB"};
  // Tenths (hundredths from GB on) of the unit, rounded, computed in integers so that
  // every platform prints the same digits.
  int unit = 0;
  int64_t scale = 1024;
  while (unit < 3 && bytes >= scale * 1024) {
    scale *= 1024;
    ++unit;
  }
  int decimals = 0;
  int64_t scaled = 0;
  for (;;) {
    decimals = unit >= 2 ? 2 : 1;
    int64_t factor = decimals == 2 ? 100 : 10;
    // Below 2^50 bytes the product cannot overflow; beyond, the last digit is cut.
    scaled = bytes < (int64_t{1} << 50) ? (bytes * factor + scale / 2) / scale : bytes / scale * factor;
    // Rounding up to 1024 of a unit reads as one of the next.
    if (scaled < 1024 * factor || unit == 3) break;
    scale *= 1024;
    ++unit;
  }
  if (decimals == 2)
    return base::Format("%d.%s %s", scaled / 100, base::Format("%d", 100 + scaled % 100).substr(1), kUnits[unit]);
  return base::Format("%d.%d %s", scaled / 10, scaled % 10, kUnits[unit]);
}

base::AnsiString FormatProgress(int64_t position, int64_t total, int64_t bytesPerSecond) {
  if (position < 0) position = 0;
  base::AnsiString text = FormatByteCount(position);
  if (total > 0) {
    int64_t percent = position >= total         ? 100
                      : total > INT64_MAX / 100 ? position / (total / 100)
                                                : position * 100 / total;
    text += base::Format(" of %s (%d%%)", FormatByteCount(total), percent);
  }
  if (bytesPerSecond >= 0) text += base::Format(", %s/s", FormatByteCount(bytesPerSecond));
  return text;
}

void TRateMeter::Add(uint32_t tickMs, int64_t position) {
  if (!FSamples.empty() && position < FSamples.back().Position) FSamples.clear();
  FSamples.push_back({tickMs, position});
  // Keep the newest sample that is at least the window old, and what came after it.
  while (FSamples.size() >= 2 && tickMs - FSamples[1].Tick >= kWindowMs) FSamples.erase(FSamples.begin());
}

int64_t TRateMeter::BytesPerSecond() const {
  if (FSamples.size() < 2) return -1;
  uint32_t span = FSamples.back().Tick - FSamples.front().Tick;  // unsigned: right across the counter's wrap
  if (span < kKnownAfterMs) return -1;
  return (FSamples.back().Position - FSamples.front().Position) * 1000 / span;
}

}  // namespace launcher
