// Errors, threads, clocks, process facts and dynamic libraries on Win32.
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <windows.h>

#include <cstdio>
// platform::LoadLibrary is our own name: keep the Win32 macro from renaming it.
#undef LoadLibrary

#include "platform/Clock.h"
#include "platform/Library.h"
#include "platform/Process.h"
#include "platform/SystemError.h"
#include "platform/Thread.h"

namespace platform {

uint32_t LastError() { return GetLastError(); }
void SetLastError(uint32_t code) { ::SetLastError(code); }

std::string SysErrorMessage(uint32_t code) {
  char buf[512];
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                           nullptr, code, 0, buf, sizeof buf, nullptr);
  std::string s(buf, n);
  while (!s.empty() && (s.back() == '\r' || s.back() == '\n' || s.back() == ' ')) s.pop_back();
  return s;
}

struct ThreadHandle {
  HANDLE Handle;
};

ThreadHandle* CreateSuspendedThread(ThreadProc proc, void* param, uint32_t& threadId, uint32_t& error) {
  unsigned id = 0;
  // ThreadProc is cdecl; a small trampoline keeps the calling conventions apart.
  struct Start {
    ThreadProc Proc;
    void* Param;
  };
  auto* s = new Start{proc, param};
  uintptr_t h = _beginthreadex(
      nullptr, 0, [](void* p) -> unsigned __stdcall {
        Start st = *static_cast<Start*>(p);
        delete static_cast<Start*>(p);
        return st.Proc(st.Param);
      },
      s, CREATE_SUSPENDED, &id);
  if (h == 0) {
    error = GetLastError();
    delete s;
    return nullptr;
  }
  threadId = id;
  return new ThreadHandle{reinterpret_cast<HANDLE>(h)};
}

void ResumeThread(ThreadHandle* thread) {
  // Resume until the suspend count is zero; a second call is a no-op.
  while (::ResumeThread(thread->Handle) > 1) {
  }
}

bool WaitThread(ThreadHandle* thread, uint32_t timeoutMs) {
  return WaitForSingleObject(thread->Handle, timeoutMs) == WAIT_OBJECT_0;
}

void ReleaseThread(ThreadHandle* thread) {
  CloseHandle(thread->Handle);
  delete thread;
}

uint32_t CurrentThreadId() { return GetCurrentThreadId(); }
void SleepMs(uint32_t ms) { Sleep(ms); }

uint32_t ProcessorCount() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwNumberOfProcessors > 0 ? info.dwNumberOfProcessors : 1;
}

uint32_t TickCount() { return GetTickCount(); }

LocalTime Now() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
}

int32_t TimeZoneBiasMinutes() {
  TIME_ZONE_INFORMATION tz;
  switch (GetTimeZoneInformation(&tz)) {
    case TIME_ZONE_ID_STANDARD: return tz.Bias + tz.StandardBias;
    case TIME_ZONE_ID_DAYLIGHT: return tz.Bias + tz.DaylightBias;
    default: return tz.Bias;
  }
}

int64_t UnixTimeNow() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  int64_t v = (static_cast<int64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  return (v - 116444736000000000LL) / 10000000;
}

std::u16string ModuleFileName() {
  wchar_t buf[MAX_PATH * 4];
  DWORD n = GetModuleFileNameW(nullptr, buf, static_cast<DWORD>(sizeof buf / sizeof buf[0]));
  return std::u16string(reinterpret_cast<const char16_t*>(buf), n);
}

void DebugOutput(const std::string& text) { OutputDebugStringA(text.c_str()); }

std::string GetEnv(const char* name) {
  char buf[4096];
  DWORD n = GetEnvironmentVariableA(name, buf, sizeof buf);
  return n > 0 && n < sizeof buf ? std::string(buf, n) : std::string();
}

void SetStdOutBinary() { _setmode(_fileno(stdout), _O_BINARY); }

LibraryHandle LoadLibrary(const std::string& name) { return reinterpret_cast<void*>(LoadLibraryA(name.c_str())); }
void* GetProcAddress(LibraryHandle lib, const char* name) {
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(lib), name));
}
void FreeLibrary(LibraryHandle lib) {
  if (lib) ::FreeLibrary(static_cast<HMODULE>(lib));
}

}  // namespace platform
