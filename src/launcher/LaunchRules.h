// The launcher's pure rules, free of any system call so they are checked on every
// platform: the program directory from a module path, the version text of a file
// version, the log file name probe, and the choice of the splash text row.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

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

// One row of the splash texts: language code, version line format, notice line.
struct TSplashText {
  const char* Code;
  const char* VersionFormat;
  const char* Notice;
};
constexpr int kSplashTextRows = 3;
extern const TSplashText SplashTextTable[kSplashTextRows];

// The first row whose code equals the language code without regard to case; row 0 when
// none does.
int SelectSplashTextRow(std::string_view languageCode);

}  // namespace launcher
