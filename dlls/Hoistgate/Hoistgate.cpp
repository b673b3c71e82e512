// The shell becomes the parent through PROC_THREAD_ATTRIBUTE_PARENT_PROCESS, the
// documented way to start a process on behalf of another one; the child then inherits
// the shell's token.
#define HOISTGATE_BUILD
#include "Hoistgate.h"

#include <string>

namespace {

// The shell process opened for creating children, or null.
HANDLE OpenShellProcess() {
  HWND shell = GetShellWindow();
  if (!shell) return nullptr;
  DWORD pid = 0;
  GetWindowThreadProcessId(shell, &pid);
  if (pid == 0 || pid == GetCurrentProcessId()) return nullptr;
  return OpenProcess(PROCESS_CREATE_PROCESS, FALSE, pid);
}

BOOL Start(std::wstring& commandLine, const wchar_t* currentDirectory, int showCommand, HANDLE parent,
           PROCESS_INFORMATION* info) {
  STARTUPINFOEXW si{};
  si.StartupInfo.cb = sizeof si;
  si.StartupInfo.dwFlags = STARTF_USESHOWWINDOW;
  si.StartupInfo.wShowWindow = static_cast<WORD>(showCommand);
  DWORD flags = 0;
  std::string attributeBuffer;
  if (parent) {
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    attributeBuffer.resize(size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributeBuffer.data());
    if (InitializeProcThreadAttributeList(list, 1, 0, &size) &&
        UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_PARENT_PROCESS, &parent, sizeof parent, nullptr,
                                  nullptr)) {
      si.lpAttributeList = list;
      si.StartupInfo.cb = sizeof si;
      flags |= EXTENDED_STARTUPINFO_PRESENT;
    } else {
      si.StartupInfo.cb = sizeof si.StartupInfo;
    }
  } else {
    si.StartupInfo.cb = sizeof si.StartupInfo;
  }
  BOOL ok = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, flags, nullptr, currentDirectory,
                           &si.StartupInfo, info);
  DWORD error = GetLastError();
  if (si.lpAttributeList) DeleteProcThreadAttributeList(si.lpAttributeList);
  SetLastError(error);
  return ok;
}

}  // namespace

extern "C" BOOL WINAPI CreateProcessWithExplorer(const wchar_t* applicationPath, const wchar_t* parameters,
                                                 const wchar_t* currentDirectory, int showCommand,
                                                 PROCESS_INFORMATION* processInfo) {
  if (!applicationPath || !*applicationPath || !processInfo) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::wstring commandLine = L"\"" + std::wstring(applicationPath) + L"\"";
  if (parameters && *parameters) commandLine += L" " + std::wstring(parameters);
  *processInfo = PROCESS_INFORMATION{};
  HANDLE shell = OpenShellProcess();
  BOOL ok = Start(commandLine, currentDirectory, showCommand, shell, processInfo);
  if (!ok && shell) {
    // The shell refused to adopt the child (other session, other rights): start it
    // ourselves rather than fail the caller.
    ok = Start(commandLine, currentDirectory, showCommand, nullptr, processInfo);
  }
  DWORD error = GetLastError();
  if (shell) CloseHandle(shell);
  SetLastError(error);
  return ok;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
