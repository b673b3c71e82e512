// A stand-in for the product's main program, for the launcher's end-to-end tests.
// It opens a window of class "TMainForm" titled "Norvale Orbelle" and appends what
// happens to MainProgram.record.txt beside its executable, one line each:
//   start args=[<parameters>] unixms=<ms>      its command line after the program name
//   ready hwnd=<decimal>                       the window exists and is shown
//   msg 3497 wParam=<n> lParam=<n>             message 3497 arrived (sent by a launcher)
//   activate                                   the window became the active one
//   restored                                   it left the minimised state
//   sent 3025 to=<decimal> ok=<0|1>            it hid the splash whose handle it got
//   exit unixms=<ms>                           it is about to end
// What it does comes from MainProgram.ini beside it, section [Test]:
//   RunMs=2000            end after this many milliseconds (0: at once)
//   HideSplashAfterMs=-1  send 3025 to the handle on the command line after this long
//   Minimized=0           1: start minimised
//   Window=1              0: open no window at all (a program still starting up)
//   Activate=1            0: show the window without making it the active one
//   ExitCode=0            the process's exit code (a release that fails its start)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string gDir;
HWND gSplash = nullptr;
bool gWasIconic = false;
// Timer ids as SetTimer returned them (it picks its own when there is no window).
UINT_PTR gExitTimer = 0;
UINT_PTR gHideTimer = 0;

long long UnixMs() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  ULARGE_INTEGER v{{ft.dwLowDateTime, ft.dwHighDateTime}};
  return static_cast<long long>(v.QuadPart / 10000ULL) - 11644473600000LL;
}

void Record(const std::string& line) {
  std::string path = gDir + "MainProgram.record.txt";
  HANDLE h = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  std::string text = line + "\r\n";
  DWORD written = 0;
  WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(h);
}

int Setting(const char* key, int def) {
  std::string ini = gDir + "MainProgram.ini";
  return static_cast<int>(GetPrivateProfileIntA("Test", key, def, ini.c_str()));
}

// The parameters: the command line after the (possibly quoted) program name and the
// blanks that follow it.
std::string Parameters() {
  const char* p = GetCommandLineA();
  if (*p == '"') {
    ++p;
    while (*p && *p != '"') ++p;
    if (*p) ++p;
  } else {
    while (*p && *p != ' ' && *p != '\t') ++p;
  }
  while (*p == ' ' || *p == '\t') ++p;
  return p;
}

LRESULT CALLBACK WndProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case 3497: Record("msg 3497 wParam=" + std::to_string(wParam) + " lParam=" + std::to_string(lParam)); return 0;
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE) Record("activate");
      break;
    case WM_SIZE:
      if (wParam == SIZE_MINIMIZED)
        gWasIconic = true;
      else if (wParam == SIZE_RESTORED && gWasIconic) {
        gWasIconic = false;
        Record("restored");
      }
      break;
    case WM_TIMER:
      if (wParam == gHideTimer) {
        KillTimer(wnd, gHideTimer);
        BOOL ok = PostMessageA(gSplash, 3025, 0, 0);
        Record("sent 3025 to=" + std::to_string(reinterpret_cast<uintptr_t>(gSplash)) + " ok=" + (ok ? "1" : "0"));
      } else if (wParam == gExitTimer) {
        PostQuitMessage(0);
      }
      return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
  }
  return DefWindowProcA(wnd, msg, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  char module[MAX_PATH + 1] = {};
  GetModuleFileNameA(nullptr, module, MAX_PATH);
  gDir = module;
  gDir.erase(gDir.find_last_of('\\') + 1);

  std::string params = Parameters();
  Record("start args=[" + params + "] unixms=" + std::to_string(UnixMs()));
  // "1 <handle>": the splash window to hide.
  if (params.size() > 2 && params.compare(0, 2, "1 ") == 0)
    gSplash = reinterpret_cast<HWND>(static_cast<uintptr_t>(std::strtoull(params.c_str() + 2, nullptr, 10)));

  WNDCLASSA wc{};
  wc.lpfnWndProc = WndProc;
  wc.hInstance = instance;
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = "TMainForm";
  RegisterClassA(&wc);
  // Without a window the timers go to the thread's queue.
  HWND wnd = nullptr;
  if (Setting("Window", 1) != 0)
    wnd = CreateWindowExA(0, "TMainForm", "Norvale Orbelle", WS_OVERLAPPEDWINDOW, 40, 40, 320, 200, nullptr, nullptr,
                          instance, nullptr);
  bool minimized = Setting("Minimized", 0) != 0;
  bool activate = Setting("Activate", 1) != 0;
  if (wnd) ShowWindow(wnd, minimized ? SW_SHOWMINNOACTIVE : activate ? SW_SHOWNORMAL : SW_SHOWNOACTIVATE);
  if (minimized) gWasIconic = true;
  Record("ready hwnd=" + std::to_string(reinterpret_cast<uintptr_t>(wnd)));

  int hideAfter = Setting("HideSplashAfterMs", -1);
  if (hideAfter >= 0 && gSplash) gHideTimer = SetTimer(wnd, 2, hideAfter > 0 ? hideAfter : 1, nullptr);
  int runMs = Setting("RunMs", 2000);
  gExitTimer = SetTimer(wnd, 1, runMs > 0 ? runMs : 1, nullptr);

  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (!wnd && msg.message == WM_TIMER) {
      WndProc(nullptr, WM_TIMER, msg.wParam, 0);
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  Record("exit unixms=" + std::to_string(UnixMs()));
  return Setting("ExitCode", 0);
}
