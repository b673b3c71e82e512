// The launcher's pure rules, free of any system call so they are checked on every
// platform: the program directory from a module path, the version text of a file
// version, the log file name probe, the choice of the splash text row, and the text and
// rate of the update's progress line.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "base/Strings.h"

namespace launcher {

// The directory of a module path, ending in exactly one backslash: cut after the last
// backslash or colon; a final backslash that follows a drive colon or another backslash
// stays (C:\ keeps its root), any other final backslash goes; then one is appended when
// missing.
base::WideString ProgramDirFromModulePath(std::u16string_view modulePath);

// "major.minor.release" from the fixed file version words; the build number (low word
// of the least significant double word) is not shown.
base::AnsiString FormatFileVersion(uint32_t versionMS, uint32_t versionLS);

// The first log file name that inUse reports free: "Log.txt", then "Log(1).txt",
// "Log(2).txt" and so on. inUse gets the bare name. The probe ends at the first free
// name; with finitely many existing files it always ends.
base::AnsiString ChooseLogFileName(const std::function<bool(const base::AnsiString& name)>& inUse);

// One row of the splash texts: language code, version line format, notice line, and the
// labels of the progress line while an update downloads and while it installs.
struct TSplashText {
  const char* Code;
  const char* VersionFormat;
  const char* Notice;
  const char16_t* Downloading;
  const char16_t* Installing;
};
constexpr int kSplashTextRows = 3;
extern const TSplashText SplashTextTable[kSplashTextRows];

// The first row whose code equals the language code without regard to case; row 0 when
// none does.
int SelectSplashTextRow(std::string_view languageCode);

// A byte count for people: "512 B", "12.3 KB", "50.0 MB", "1.25 GB" (units of 1024).
base::AnsiString FormatByteCount(int64_t bytes);

// The numbers of the progress line: "12.3 MB of 50.0 MB (24%)" with a known total,
// "12.3 MB" without one (total <= 0), followed by ", 2.0 MB/s" once the rate is known
// (bytesPerSecond >= 0). A position past the total shows 100%.
base::AnsiString FormatProgress(int64_t position, int64_t total, int64_t bytesPerSecond);

// The transfer rate over the last few seconds, from (tick, position) samples taken as
// the progress line is drawn. Unknown (-1) until the samples span a second; a position
// that goes back (a download started again) starts over.
class TRateMeter {
 public:
  // The span the rate is taken over, at most; older samples are dropped.
  static constexpr uint32_t kWindowMs = 3000;
  static constexpr uint32_t kKnownAfterMs = 1000;

  void Add(uint32_t tickMs, int64_t position);
  int64_t BytesPerSecond() const;

 private:
  struct TSample {
    uint32_t Tick;
    int64_t Position;
  };
  std::vector<TSample> FSamples;
};

}  // namespace launcher
