#include "launcher/LauncherLog.h"

#include <windows.h>

#include "VT_Log.h"
#include "base/Log.h"
#include "launcher/LaunchRules.h"
#include "launcher/ProgramFolders.h"

namespace launcher {
namespace {

const wchar_t* W(const base::WideString& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

void LibrarySink(void*, const std::string& line) { VTLog(W(base::AnsiToWide(line))); }

}  // namespace

base::WideString LogFolder() { return GetProgramDir() + u"Log"; }

bool IsLogFileInUse(const base::WideString& path) {
  if (base::Trim(path).empty()) return false;
  DWORD attributes = GetFileAttributesW(W(path));
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
  HANDLE h =
      CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return true;
  CloseHandle(h);
  return false;
}

base::AnsiString InitLog() {
  base::WideString folder = LogFolder();
  base::AnsiString name = ChooseLogFileName(
      [&](const base::AnsiString& n) { return IsLogFileInUse(folder + u"\\" + base::AnsiToWide(n)); });
  VTLogInit(W(base::AnsiToWide(name)), -1, kLogMaxSizeKB, 0);
  base::SetLogSink({&LibrarySink, nullptr});
  return name;
}

void WriteStartBanner() {
  const wchar_t* rule = L"=============================";  // 29
  VTOutput(rule);
  VTOutput(L"Norvale Orbelle");
  VTOutput(rule);
}

}  // namespace launcher
