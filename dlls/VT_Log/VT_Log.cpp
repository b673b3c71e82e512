// One process-wide log file guarded by a critical section. Lines are UTF-8 with CRLF:
//   2026-12-07 23:45:01.123 [00001234] text
// Each line is written with a single WriteFile on a handle opened for appending, so a
// reader in another process sees whole lines as soon as the call returns.
#define VT_LOG_BUILD
#include "VT_Log.h"

#include <cstdio>
#include <string>

namespace {

CRITICAL_SECTION gLock;
HANDLE gFile = INVALID_HANDLE_VALUE;
bool gInitialised = false;  // VTLogInit ran at least once
std::wstring gPath;         // the open file's full name
LONGLONG gMaxSize = 0;      // bytes; 0: no cap
LONGLONG gSize = 0;         // bytes in the open file
LONGLONG gRotateAt = 0;     // size at which the next rotation is tried

std::wstring HostDirectory() {
  wchar_t buf[MAX_PATH + 1];
  DWORD n = GetModuleFileNameW(nullptr, buf, MAX_PATH);
  std::wstring path(buf, n < MAX_PATH ? n : MAX_PATH);
  size_t cut = path.find_last_of(L"\\/:");
  return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut + 1);
}

void CloseLogFile() {
  if (gFile != INVALID_HANDLE_VALUE) CloseHandle(gFile);
  gFile = INVALID_HANDLE_VALUE;
}

// Share read only: while we hold the file nobody else may write it, which is how a
// second launcher finds it in use and picks the next name.
HANDLE OpenForAppending(const std::wstring& path, DWORD disposition) {
  return CreateFileW(path.c_str(), FILE_APPEND_DATA | GENERIC_READ, FILE_SHARE_READ, nullptr, disposition,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The file is full: it becomes the one previous file (<name>.old, replacing an older
// one) and a new file starts. When it cannot be renamed (a reader holds it) it is
// copied there and starts afresh in place; when it can be neither kept nor started
// afresh, lines go on being appended and the next try comes after another eighth of the
// cap, so that no line is dropped without a copy. Caller holds gLock.
void Rotate() {
  CloseLogFile();
  std::wstring previous = gPath + L".old";
  if (MoveFileExW(gPath.c_str(), previous.c_str(), MOVEFILE_REPLACE_EXISTING) ||
      CopyFileW(gPath.c_str(), previous.c_str(), FALSE))
    gFile = OpenForAppending(gPath, CREATE_ALWAYS);
  gSize = 0;
  if (gFile == INVALID_HANDLE_VALUE) {
    gFile = OpenForAppending(gPath, OPEN_ALWAYS);
    LARGE_INTEGER size{};
    if (gFile != INVALID_HANDLE_VALUE && GetFileSizeEx(gFile, &size)) gSize = size.QuadPart;
  }
  gRotateAt = gSize + gMaxSize;
  if (gSize > 0) gRotateAt = gSize + gMaxSize / 8;
}

// Caller holds gLock.
void OpenLogFile(const wchar_t* fileName, int maxSizeKB) {
  CloseLogFile();
  std::wstring folder = HostDirectory() + L"Log";
  CreateDirectoryW(folder.c_str(), nullptr);  // an existing folder is fine
  std::wstring name = (fileName && *fileName) ? fileName : L"Log.txt";
  gPath = folder + L"\\" + name;
  gMaxSize = maxSizeKB > 0 ? static_cast<LONGLONG>(maxSizeKB) * 1024 : 0;
  gFile = OpenForAppending(gPath, OPEN_ALWAYS);
  if (gFile == INVALID_HANDLE_VALUE) return;
  LARGE_INTEGER size{};
  gSize = GetFileSizeEx(gFile, &size) ? size.QuadPart : 0;
  gRotateAt = gMaxSize;
  if (gMaxSize > 0 && gSize >= gMaxSize) Rotate();
}

std::string ToUtf8(const wchar_t* text) {
  if (!text) return {};
  int len = static_cast<int>(wcslen(text));
  if (len == 0) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, text, len, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n : 0, '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text, len, out.data(), n, nullptr, nullptr);
  return out;
}

void WriteLine(const wchar_t* text) {
  SYSTEMTIME t;
  GetLocalTime(&t);
  char head[64];
  std::snprintf(head, sizeof head, "%04u-%02u-%02u %02u:%02u:%02u.%03u [%08lX] ", t.wYear, t.wMonth, t.wDay, t.wHour,
                t.wMinute, t.wSecond, t.wMilliseconds, static_cast<unsigned long>(GetCurrentThreadId()));
  std::string line = head + ToUtf8(text) + "\r\n";
  EnterCriticalSection(&gLock);
  if (!gInitialised) {
    OpenLogFile(nullptr, 0);
    gInitialised = true;
  }
  if (gMaxSize > 0 && gFile != INVALID_HANDLE_VALUE && gSize + static_cast<LONGLONG>(line.size()) > gRotateAt) Rotate();
  if (gFile != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    WriteFile(gFile, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    gSize += written;
  }
  LeaveCriticalSection(&gLock);
}

}  // namespace

extern "C" {

void WINAPI VTLogInit(const wchar_t* fileName, int /*level*/, int maxSizeKB, int /*flags*/) {
  EnterCriticalSection(&gLock);
  OpenLogFile(fileName, maxSizeKB);
  gInitialised = true;
  LeaveCriticalSection(&gLock);
}

void WINAPI VTLog(const wchar_t* text) { WriteLine(text); }

void WINAPI VTOutput(const wchar_t* text) {
  WriteLine(text);
  if (text) OutputDebugStringW(text);
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    InitializeCriticalSection(&gLock);
  } else if (reason == DLL_PROCESS_DETACH) {
    // At process exit (reserved != null) other threads are gone; close either way so
    // the last lines are on disk before the handle goes.
    CloseLogFile();
    if (!reserved) DeleteCriticalSection(&gLock);
  }
  return TRUE;
}
}
