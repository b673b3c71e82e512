// TSplash::RunMainProcess: the end of every path of the launcher's work.
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

#include "base/Format.h"
#include "base/Log.h"
#include "launcher/SplashForm.h"
#include "ui/Application.h"

namespace launcher {

bool TSplash::RunMainProcess(const base::AnsiString& path) {
  EndProgress();  // the update's work is over: the main program sees no stale bar
  // Without a program name the path is the program folder, which the shell would open in
  // a file window; a folder is no main program either.
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (base::Trim(FMainProcess).empty() ||
      (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))) {
    base::WriteLog(base::Format("[Splash]==================== AppExeName Invalid,No MainProcess:= %s", FMainProcess));
    Close();
    return false;
  }
  base::WriteLog(base::Format("[Splash]==================== APath:= %s", path));
  // The text says "Runas" but the start has no verb and so no elevation.
  base::WriteLog("[Splash]==================== Runas:= ShellExecuteEx");
  base::AnsiString parameters = "1 " + base::IntToStr(static_cast<int64_t>(reinterpret_cast<uintptr_t>(Handle())));
  SHELLEXECUTEINFOA info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.hwnd = nullptr;
  info.lpVerb = nullptr;
  info.lpFile = path.c_str();
  info.lpParameters = parameters.c_str();
  info.lpDirectory = "";
  info.nShow = SW_SHOW;
  ShellExecuteExA(&info);
  bool result = false;
  if (info.hProcess) {
    base::WriteLog("[Splash]==================== Runas:= ShellExecuteEx Successed");  // sic
    // No time limit: the launcher lives exactly as long as the main program, which is
    // what keeps the single-instance mutex held while the product runs.
    DWORD wait;
    while ((wait = WaitForSingleObject(info.hProcess, 100)) == WAIT_TIMEOUT) Owner().ProcessMessages();
    result = wait == WAIT_OBJECT_0;
    CloseHandle(info.hProcess);
  }
  Close();
  return result;
}

}  // namespace launcher
