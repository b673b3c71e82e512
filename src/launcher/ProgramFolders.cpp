#include "launcher/ProgramFolders.h"

// clang-format off
#include <windows.h>
#include <shlobj.h>
// clang-format on

#include "launcher/LaunchRules.h"
#include "package/UpdateJournal.h"
#include "platform/Process.h"

namespace launcher {

base::WideString GetProgramDir() { return ProgramDirFromModulePath(platform::ModuleFileName()); }

base::WideString GetCommonDataDir() {
  WCHAR buffer[MAX_PATH + 1] = {};
  base::WideString dir;
  if (SHGetSpecialFolderPathW(nullptr, buffer, CSIDL_COMMON_APPDATA, TRUE)) {
    dir = base::IncludeTrailingPathDelimiter(base::WideString(reinterpret_cast<const char16_t*>(buffer)));
    dir += u"Norvale Orbelle";
    const WCHAR* path = reinterpret_cast<const WCHAR*>(dir.c_str());
    DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
      CreateDirectoryW(path, nullptr);
  }
  return dir + u"\\";
}

base::AnsiString GetUpdateJournalPath() { return base::WideToAnsi(GetProgramDir()) + package::kJournalFileName; }

base::AnsiString GetLegacyUpdateJournalPath() { return base::WideToAnsi(GetCommonDataDir()) + "UpdateJournal.txt"; }

}  // namespace launcher
