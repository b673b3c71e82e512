// TSplash: the launcher's only window and the application's main form. A borderless
// layered window showing Skin\splash.png with the launcher's version and a notice drawn
// on it. Its create handler starts the update check: the update configuration is
// fetched in the background; when a newer package is offered and the answer came within
// the time limit the package is fetched and unpacked over the program directory; every
// path ends in exactly one start of the main program, after which the form closes and
// the message loop ends. With an update public key configured, the configuration must be
// a signed offer and the package must match it (offer/OfferRules.h); a refused one is
// deleted and the main program starts. Download results arrive on the main thread. Main
// thread only.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "base/Strings.h"
#include "download/UpdateMgr.h"
#include "launcher/LaunchRules.h"
#include "launcher/ProgressLayer.h"
#include "launcher/ReleaseTrial.h"
#include "launcher/UpdateRules.h"
#include "offer/SignedConfig.h"
#include "ui/Bitmap.h"
#include "ui/Form.h"

namespace package {
class TPackageFile;
}

namespace launcher {

// Sent by the main program to the handle on its command line: hides the splash.
constexpr uint32_t WM_HIDESPLASH = 3025;
// The timer that holds the configuration check to its time limit.
constexpr UINT_PTR kConfigBudgetTimer = 1;
// The timer that draws the download's progress, and its period: at most ten times a second.
constexpr UINT_PTR kProgressTimer = 2;
constexpr uint32_t kProgressPeriodMs = 100;

// End-to-end tests only: when the environment variable (ORBELLE_TEST_COMMIT_PAUSE_MS,
// ORBELLE_TEST_ROLLBACK_PAUSE_MS) holds a number of milliseconds, a hook that holds an
// install's commit or a rollback that long before its second file moves, so that a test
// can kill the launcher in the middle; otherwise an empty hook.
std::function<void(int32_t)> TestPauseBeforeSecondMove(const char* variable);

class TSplash : public ui::TForm {
 public:
  explicit TSplash(ui::TApplication& owner);
  ~TSplash() override;
  const char* ClassName() const override { return "TSplash"; }

  // Starts the main program (path = program directory + AppExeName) with "1 " and this
  // window's handle, waits for it while keeping the messages flowing, then closes the
  // form. True when the program was started and waited for to its end.
  bool RunMainProcess(const base::AnsiString& path);

  // The text row chosen by DefLanguage (for tests of the setting).
  const base::AnsiString& DefLanguage() const { return FDefLanguage; }
  bool HasLayeredContent() const { return FLayeredContent; }
  // The progress layer, while an update downloads or installs (null otherwise).
  const TProgressLayer* ProgressLayer() const { return FProgressLayer.get(); }

 protected:
  void SkinFormCreate(base::TObject* sender);
  void ReadCurrentConfig();
  void ReadNewConfig();
  void OnConfigDownloaded(download::TUpdateMgr* manager, uint8_t code);
  void DownloadPackage();
  void OnPackageDownloaded(download::TUpdateMgr* manager, uint8_t code);
  void OnPackageProgress(base::TObject* client, int64_t position, int64_t total);
  void SaveCurrVision();
  void SkinFormDestroy(base::TObject* sender);
  void DrawVersionText(ui::TBitmap& bitmap);
  void ShowLayeredBitmap(ui::TBitmap& bitmap, POINT point);

 private:
  void WMHideSplash(ui::TMessage& message);
  // The configuration check's time limit passed without an answer: the request is
  // canceled and the main program starts now.
  void WMTimer(ui::TMessage& message);
  // Ends the configuration check; false when it had already ended (an answer and the
  // time limit can both be pending on the main thread).
  bool EndConfigCheck();
  // With update keys configured, checks the downloaded configuration as a signed offer and
  // records its serial; a refused one is deleted and the main program started. False
  // when it was refused. Without keys, logs that updates are not verified.
  bool CheckNewConfig();
  // The package against the signed offer; a refused one is deleted with the
  // configuration and the main program started. False when it was refused.
  bool CheckPackage();
  void RefusePackage(const std::string& cause);
  // Whether the offer may be taken at all: not while a release is on trial, never a
  // version rolled back before. Logs one line when it may not.
  bool MayTakeOffer();
  // The staged rollout: whether this installation takes the offer (its kept bucket is
  // below the offer's RolloutPercent); logs one line when it does not.
  bool InRolloutShare();
  // Applies the downloaded package; true when every file of it is installed.
  bool ApplyPackage();
  // After a package or delta installed: both downloaded files go, the new version is
  // recorded, and the release starts on trial (its replaced files kept until its main
  // program starts healthily once).
  void FinishInstall(const base::AnsiString& downloadedPath);
  void LoadSplashPicture();
  // Deltas (SplashDelta.cpp): when the offer lists a delta from the installed version,
  // fetches it instead of the package and true; false to fetch the package (no delta for
  // this version, or the delta was tried already in this start).
  bool DownloadDelta();
  // Checks and installs the delta; on any failure logs one line why and fetches the
  // full package instead.
  void OnDeltaDownloaded(download::TUpdateMgr* manager, uint8_t code);
  // Draws the progress line: label of the splash's text row, bytes of total (0: not
  // known) and the rate. Main thread.
  void ShowProgress(const char16_t* label, int64_t position, int64_t total);
  // The download's progress as the worker last reported it (WM_TIMER kProgressTimer).
  void ShowDownloadProgress();
  // Removes the progress layer: the update's work is over.
  void EndProgress();
  // How a start of the main program went.
  struct TMainRun {
    bool Started = false;
    bool Waited = false;  // waited for to its end
    TStartHealth Health = TStartHealth::shPending;
    uint32_t ExitCode = 0;
    uint32_t ElapsedMs = 0;
  };
  // Starts the main program and waits for its end, keeping the messages flowing; with
  // judge, the start of the release on trial is judged on the way (and a healthy one
  // ends its trial at once).
  TMainRun StartMainProcess(const base::AnsiString& path, bool judge);
  // The release on trial started healthily: its replaced files go.
  void PassTrial();
  // It did not: the previous files come back and its version is recorded as bad.
  void RollBack(const TMainRun& run);
  // The directory of the launcher's executable, with its final backslash.
  base::AnsiString ExeDir();

  base::AnsiString FCurrVision;
  base::AnsiString FNewVision;
  base::AnsiString FPackageUrl;
  base::AnsiString FMainProcess;
  base::AnsiString FNewConfigPath;
  base::AnsiString FDownloadPackagePath;
  uint32_t FTimestamp = 0;  // GetTickCount at queuing, then the answer's delay in ms
  std::unique_ptr<download::TUpdateMgr> FDownloadMgr;
  HMODULE FHoistgateLib = nullptr;
  FARPROC FCreateProcessWithExplorer = nullptr;
  base::AnsiString FDefLanguage;
  bool FLayeredContent = false;
  bool FConfigDecided = false;  // the answer or the time limit has ended the configuration check
  bool FVerifyOffer = false;    // update keys are configured: the offer was checked
  offer::TOfferValues FOfferValues;
  bool FDeltaTried = false;  // a delta was chosen (or none fits) in this start
  offer::TDeltaOffer FDelta;
  base::AnsiString FDownloadDeltaPath;
  base::AnsiString FRolloutPercentText = "100";  // an unverified offer's RolloutPercent
  // The package download's progress: written by the download worker, read by the timer.
  std::atomic<int64_t> FDownloadPosition{-1};
  std::atomic<int64_t> FDownloadTotal{0};
  std::unique_ptr<TProgressLayer> FProgressLayer;
  TRateMeter FRate;
  std::u16string FProgressText;  // what the layer shows now
  bool FTrial = false;           // a release is on trial: the main program's start judges it
  TTrialRecord FTrialRecord;
  int64_t FOfferHealthySeconds = offer::kDefaultHealthySeconds;
  uint32_t FProgressDrawn = 0;  // GetTickCount of the last drawing
  // The downloaded package, held open (writes denied) from its check to its install, so
  // that what is installed is what was checked.
  std::unique_ptr<package::TPackageFile> FPackage;
};

}  // namespace launcher
