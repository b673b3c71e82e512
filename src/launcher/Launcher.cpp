#include "launcher/Launcher.h"

#include <windows.h>

#include <memory>

#include "download/HttpThreadPool.h"
#include "imaging/GPPictures.h"
#include "launcher/ConfigRecord.h"
#include "launcher/LauncherLog.h"
#include "launcher/ProgramFolders.h"
#include "launcher/SplashForm.h"
#include "ui/Application.h"

namespace launcher {
namespace {
constexpr UINT kMainWindowActivate = 3497;
}

bool ActivateRunningMainWindow() {
  HWND wnd = FindWindowA("TMainForm", "Norvale Orbelle");
  if (!wnd) return false;
  if (IsIconic(wnd)) {
    ShowWindow(wnd, SW_RESTORE);
  } else {
    SendMessageA(wnd, kMainWindowActivate, 1, 0);
    SetForegroundWindow(wnd);
  }
  return true;
}

int RunLauncher() {
  imaging::TImagingSession imaging;  // GDI+ and the picture formats
  InitLog();
  ui::TApplication& app = ui::Application();
  app.Initialize();
  app.SetTitle("OrbelleLauncher");
  base::WideString programDir = GetProgramDir();
  GetCommonDataDir();  // creates the product data folder when missing
  SetConfigRecord(std::make_unique<TConfigRecord>(programDir + u"Orbelle.ini"));
  WriteStartBanner();

  HANDLE mutex = CreateMutexA(nullptr, FALSE, "NVOrbelleSplash");
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    ActivateRunningMainWindow();
    ReleaseMutex(mutex);
    CloseHandle(mutex);
    ReleaseConfigRecord();
    return 0;
  }
  // The mutex stays held until the process ends.
  app.CreateForm<TSplash>();
  app.Run();
  // The download workers are stopped and waited for before the configuration goes.
  download::ReleaseHttpThreadPool();
  ReleaseConfigRecord();
  return 0;
}

}  // namespace launcher
