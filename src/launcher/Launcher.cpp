#include "launcher/Launcher.h"

#include <windows.h>

#include <memory>

#include "base/Exceptions.h"
#include "base/Log.h"
#include "download/HttpThreadPool.h"
#include "imaging/GPPictures.h"
#include "launcher/ConfigRecord.h"
#include "launcher/LauncherLog.h"
#include "launcher/ProgramFolders.h"
#include "launcher/ReleaseTrial.h"
#include "launcher/SplashForm.h"
#include "launcher/UpdateRules.h"
#include "package/StagedInstall.h"
#include "skin/SkinSupport.h"
#include "ui/Application.h"

namespace launcher {
namespace {
constexpr UINT kMainWindowActivate = 3497;
// How long the end of the launcher waits for the download workers to stop.
constexpr uint32_t kWorkerStopWaitMs = 500;
}  // namespace

void RecoverUpdate() {
  base::AnsiString programDir = base::WideToAnsi(GetProgramDir());
  package::TRecoveryReport r = package::RecoverInstall(programDir, GetUpdateJournalPath());
  // An earlier launcher's journal, where others may write: at most its leftovers go.
  package::RecoverForeignJournal(programDir, GetLegacyUpdateJournalPath());
  // A release on trial, or one whose rollback a kill cut short, is settled with its
  // record in Orbelle.ini; the splash judges a trial that goes on.
  SettleTrial(r, programDir, GetUpdateJournalPath());
  if (r.Outcome != package::TRecoveryOutcome::roNew || r.Version.empty()) return;
  // The update's files were all in place when its launcher died; its version was not
  // necessarily recorded yet. An update only ever installs a newer version, so anything
  // else (already recorded, or not a version at all) leaves the setting as it is.
  if (!IsNewVision(r.Version, ConfigRecord().ReadConfigString("System", "PackageVision", "0.0.0.0"))) return;
  try {
    ConfigRecord().WriteConfigString("System", "PackageVision", r.Version);
  } catch (const base::Exception& e) {
    base::WriteLog("[Splash]==================== SaveCurrVision Failed:= " + e.Message());
  }
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
  // The skin engine, its atom, its animator window and the hint window class. No window
  // of the launcher is skinned; the engine is there for the product's skinned windows.
  skin::TSkinSession skin;
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
  // The mutex stays held until the process ends. An update that a killed launcher left
  // half-done is finished or undone before anything else looks at the program files.
  RecoverUpdate();
  app.CreateForm<TSplash>();
  app.Run();
  // The splash's OnDestroy runs and its download manager goes (canceling what it still
  // has queued) while the pool is there; its window goes with the process, at once.
  app.ReleaseFormsForExit();
  // The download workers are stopped and waited for before the configuration goes; one
  // stuck in a name lookup or a connect that cannot be interrupted is left to the end of
  // the process instead of holding the launcher after the main program has ended.
  download::ReleaseHttpThreadPool(kWorkerStopWaitMs);
  ReleaseConfigRecord();
  return 0;
}

}  // namespace launcher
