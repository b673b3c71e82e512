#include "launcher/SplashForm.h"

#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "base/Format.h"
#include "base/Log.h"
#include "imaging/GdiplusObjects.h"
#include "launcher/ConfigRecord.h"
#include "launcher/LaunchRules.h"
#include "launcher/ProgramFolders.h"
#include "launcher/ReleaseTrial.h"
#include "launcher/UpdateRules.h"
#include "net/SSLClient.h"
#include "offer/OfferRules.h"
#include "package/Decompression.h"
#include "package/PackageFile.h"
#include "package/StagedInstall.h"
#include "platform/Files.h"
#include "ui/Application.h"
#include "ui/GdiHandles.h"

namespace launcher {
namespace {
void Log(const base::AnsiString& message) { base::WriteLog("[Splash]==================== " + message); }

// 2000-01-01 00:00 UTC as a file time: a last-write time older than any package.
constexpr int64_t kRefetchFileTime = 125911584000000000LL;

// A random word for the rollout bucket, drawn once per installation.
uint32_t RandomWord() {
  try {
    return std::random_device()();
  } catch (...) {
    return (GetTickCount() * 2654435761u) ^ GetCurrentProcessId();
  }
}
}  // namespace

std::function<void(int32_t)> TestPauseBeforeSecondMove(const char* variable) {
  char value[16] = {};
  DWORD n = GetEnvironmentVariableA(variable, value, sizeof value);
  if (n == 0 || n >= sizeof value) return {};
  DWORD ms = static_cast<DWORD>(std::strtoul(value, nullptr, 10));
  return [ms](int32_t index) {
    if (index == 1) Sleep(ms);
  };
}

TSplash::TSplash(ui::TApplication& owner) : TForm(owner) {
  // The form's design.
  BorderStyle = ui::TFormBorderStyle::bsNone;
  ClientWidth = 523;
  ClientHeight = 298;
  Color = ui::clBtnFace;
  Font.Name = "Tahoma";
  Font.Height = -11;
  Position = ui::TPosition::poScreenCenter;
  ShowHint = true;
  SetCaption("Tessaly Lumora");
  OnCreate = base::Method<&TSplash::SkinFormCreate>(this);
  OnDestroy = base::Method<&TSplash::SkinFormDestroy>(this);
  SetMessageHandler(WM_HIDESPLASH, base::Method<&TSplash::WMHideSplash>(this));
  SetMessageHandler(WM_TIMER, base::Method<&TSplash::WMTimer>(this));

  FHoistgateLib = LoadLibraryA("Hoistgate.dll");
  if (FHoistgateLib) FCreateProcessWithExplorer = GetProcAddress(FHoistgateLib, "CreateProcessWithExplorer");

  // Creates the window handle.
  LONG exStyle = GetWindowLongA(Handle(), GWL_EXSTYLE);
  SetWindowLongA(Handle(), GWL_EXSTYLE, exStyle | WS_EX_LAYERED);

  LoadSplashPicture();
}

TSplash::~TSplash() {
  if (FHoistgateLib) FreeLibrary(FHoistgateLib);
}

void TSplash::LoadSplashPicture() {
  ui::TBitmap bitmap;
  // Any failure leaves the layered window without content, so it stays invisible; the
  // launcher's work goes on regardless.
  try {
    FDefLanguage = ConfigRecord().ReadConfigString("System", "DefLanguage", "ENG");
    base::WideString path = base::ExtractFilePath(Owner().ExeName()) + u"Skin\\splash.png";
    DWORD attributes = GetFileAttributesW(reinterpret_cast<const WCHAR*>(path.c_str()));
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      imaging::TGPBitmap picture(path, false);
      bitmap.SetHandle(picture.GetHBITMAP(0x00000000));
      DrawVersionText(bitmap);
      RECT r{};
      GetWindowRect(Handle(), &r);
      ShowLayeredBitmap(bitmap, POINT{r.left, r.top});
    }
  } catch (...) {
  }
}

void TSplash::DrawVersionText(ui::TBitmap& bitmap) {
  imaging::TGPGraphics graphics(bitmap.Canvas().Handle());
  const TSplashText& row = SplashTextTable[SelectSplashTextRow(FDefLanguage)];
  base::AnsiString version = base::Format(row.VersionFormat, GetFileVersionString(Owner().ExeName()));
  graphics.SetTextRenderingHint(Gdiplus::TextRenderingHintClearTypeGridFit);
  imaging::TGPFontFamily family(base::AnsiToWide(Font.Name));
  imaging::TGPFont font(family, 8.5f, Gdiplus::FontStyleRegular, Gdiplus::UnitPoint);
  imaging::TGPSolidBrush white(0xFFFFFFFF);
  graphics.DrawString(base::AnsiToWide(version), font, Gdiplus::RectF(260, 190, 0, 0), nullptr, white);
  imaging::TGPSolidBrush black(0xFF000000);
  graphics.DrawString(base::AnsiToWide(row.Notice), font, Gdiplus::RectF(30, 245, 0, 0), nullptr, black);
}

void TSplash::ShowLayeredBitmap(ui::TBitmap& bitmap, POINT point) {
  BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  SIZE size{bitmap.Width(), bitmap.Height()};
  POINT source{0, 0};
  ui::TWindowDC screen;
  BOOL ok = UpdateLayeredWindow(Handle(), screen.Get(), &point, &size, bitmap.Canvas().Handle(), &source, 0, &blend,
                                ULW_ALPHA);
  FLayeredContent = ok != FALSE;
}

base::AnsiString TSplash::ExeDir() { return base::WideToAnsi(base::ExtractFilePath(Owner().ExeName())); }

void TSplash::SkinFormCreate(base::TObject*) {
  Log("Start");
  Owner().SetTitle("Norvale Orbelle");
  Handle();  // the main program is given this window's handle later
  FDownloadMgr = std::make_unique<download::TUpdateMgr>();
  FDownloadMgr->ConfigUrl = UpdateConfigUrl(ConfigRecord().ReadConfigString("System", "UpdateHost", ""));
  Log(base::Format("FDownloadMgr.ConfigUrl:= %s", FDownloadMgr->ConfigUrl));
  // A staging server with its own CA is trusted through [System] UpdateCAFile: a PEM file,
  // a relative name taken from the program folder.
  std::string caFile = ConfigRecord().ReadConfigString("System", "UpdateCAFile", "");
  if (!caFile.empty()) {
    if (caFile.find(':') == std::string::npos && caFile[0] != '\\' && caFile[0] != '/') caFile = ExeDir() + caFile;
    net::TSSLClient::SetExtraCAFile(caFile);
  }
  FNewConfigPath = base::WideToAnsi(GetCommonDataDir()) + "NewConfig.ini";
  FDownloadMgr->SaveConfigPath = FNewConfigPath;
  Log(base::Format("FDownloadMgr.SaveConfigPath:= %s", FDownloadMgr->SaveConfigPath));
  FDownloadMgr->OnConfigDownloaded = base::Method<&TSplash::OnConfigDownloaded>(this);
  FDownloadMgr->DownloadConfig();
  // The result can only arrive after this handler returned: it is delivered through
  // the main thread.
  FTimestamp = GetTickCount();
  // The time limit is enforced here, not only judged when the answer comes: a server that
  // accepts and never answers, or a connect that hangs, would otherwise hold the main
  // program back for the client's whole time-out.
  SetTimer(Handle(), kConfigBudgetTimer, kConfigTimeLimitMs, nullptr);
  ReadCurrentConfig();
}

bool TSplash::EndConfigCheck() {
  KillTimer(Handle(), kConfigBudgetTimer);  // a WM_TIMER already queued still arrives
  if (FConfigDecided) return false;
  FConfigDecided = true;
  return true;
}

void TSplash::WMTimer(ui::TMessage& message) {
  if (message.WParam == kProgressTimer) return ShowDownloadProgress();
  if (message.WParam != kConfigBudgetTimer || !EndConfigCheck()) return;
  FTimestamp = GetTickCount() - FTimestamp;
  // Releasing the manager cancels the request: its answer, should one still come, is
  // never delivered.
  FDownloadMgr.reset();
  Log("(FTimestamp < 1000) Run MainProcess");  // sic: the limit was missed
  RunMainProcess(ExeDir() + FMainProcess);
}

void TSplash::ReadCurrentConfig() {
  FCurrVision = ConfigRecord().ReadConfigString("System", "PackageVision", "0.0.0.0");
  Log(base::Format("FCurrVision:= %s", FCurrVision));
  FMainProcess = ConfigRecord().ReadConfigString("System", "AppExeName", "");
  Log(base::Format("FMainProcess:= %s", FMainProcess));
  // A release the last start put on trial and could not judge is judged at this start.
  FTrialRecord = ReadTrialRecord();
  FTrial = !FTrialRecord.Vision.empty();
}

void TSplash::ReadNewConfig() {
  if (FVerifyOffer) {
    // A verified offer's values come from the bytes the signature covered, read once:
    // the file is not parsed again, by another reader, after the check.
    FNewVision = FOfferValues.PackageVision;
    FPackageUrl = FOfferValues.PackagePath;
  } else {
    TConfigRecord config(base::AnsiToWide(FNewConfigPath));
    FNewVision = config.ReadConfigString("System", "PackageVision", "0.0.0.0");
    FPackageUrl = config.ReadConfigString("System", "PackagePath", "");
    // The staged values of an unverified offer (a verified one brought them with its
    // signature).
    FRolloutPercentText = config.ReadConfigString("System", "RolloutPercent", "100");
    if (!offer::ParseHealthySeconds(base::Trim(config.ReadConfigString("System", "HealthySeconds", "")),
                                    FOfferHealthySeconds))
      FOfferHealthySeconds = offer::kDefaultHealthySeconds;
    config.FlushConfig();
  }
  Log(base::Format("FNewVision:= %s", FNewVision));
  Log(base::Format("FPackageUrl:= %s", FPackageUrl));
}

void TSplash::OnConfigDownloaded(download::TUpdateMgr*, uint8_t code) {
  if (!EndConfigCheck()) return;
  FTimestamp = GetTickCount() - FTimestamp;  // unsigned: right across the counter's wrap
  if (code != 1) {
    Log("Update Config Failed,Run MainProcess");
    RunMainProcess(ExeDir() + FMainProcess);
    return;
  }
  if (!CheckNewConfig()) return;
  ReadNewConfig();
  bool newer = IsNewVision(FNewVision, FCurrVision);
  if (newer && FTimestamp < kConfigTimeLimitMs) {
    if (!MayTakeOffer() || !InRolloutShare()) {
      RunMainProcess(ExeDir() + FMainProcess);
      return;
    }
    Log("Vision Not equal and Timestamp < 1000");
    DownloadPackage();
    return;
  }
  if (!newer) Log("Vision not EqualResason Run MainProcess");                        // sic
  if (FTimestamp >= kConfigTimeLimitMs) Log("(FTimestamp < 1000) Run MainProcess");  // sic: the limit was missed
  RunMainProcess(ExeDir() + FMainProcess);
}

bool TSplash::MayTakeOffer() {
  if (FTrial) {
    // The journal of the release on trial must be settled before another update.
    Log(base::Format("Update Trial Pending,Run MainProcess:= %s has not started healthily yet", FTrialRecord.Vision));
    return false;
  }
  if (IsBadVision(ConfigRecord().ReadConfigString("System", "BadVisions", ""), FNewVision)) {
    Log(base::Format("Update Vision Bad,Run MainProcess:= %s was rolled back after a failed start", FNewVision));
    return false;
  }
  return true;
}

bool TSplash::InRolloutShare() {
  int64_t percent = offer::kFullRollout;
  if (FVerifyOffer) {
    percent = FOfferValues.RolloutPercent;
  } else if (!offer::ParseRolloutPercent(base::Trim(FRolloutPercentText), percent)) {
    // A staged offer whose share cannot be read must not reach everybody.
    Log(base::Format("Update Rollout Skipped,Run MainProcess:= RolloutPercent %s is not a number from 0 to 100",
                     FRolloutPercentText));
    return false;
  }
  if (percent >= offer::kFullRollout) return true;
  bool drawn = false;
  int bucket = RolloutBucket(ConfigRecord().ReadConfigString("System", "RolloutBucket", ""), RandomWord(), drawn);
  if (drawn) {
    // Kept, so that this installation stays on the same side of every later percentage.
    try {
      ConfigRecord().WriteConfigString("System", "RolloutBucket", std::to_string(bucket));
    } catch (const base::Exception& e) {
      Log(base::Format("RolloutBucket Failed:= %s", e.Message()));
    }
  }
  if (InRollout(bucket, percent)) return true;
  Log(base::Format("Update Rollout Skipped,Run MainProcess:= bucket %d is not below RolloutPercent %d", bucket,
                   percent));
  return false;
}

void TSplash::DownloadPackage() {
  // The worker only notes the numbers; the layer is drawn here, on the main thread, by a
  // timer, so the download never waits for the window and the window never for the
  // network.
  FDownloadPosition.store(-1, std::memory_order_relaxed);  // a delta tried before counts no more
  FRate = TRateMeter();
  SetTimer(Handle(), kProgressTimer, kProgressPeriodMs, nullptr);
  if (DownloadDelta()) return;
  FDownloadMgr->PackageUrl = FPackageUrl;
  FDownloadPackagePath = ExeDir() + "NVOrbelle_UpdateConfig.vtzip";
  Log(base::Format("FDownloadPackagePath:= %s", FDownloadPackagePath));
  FDownloadMgr->SavePackagePath = FDownloadPackagePath;
  Log(base::Format("SavePackagePath:= %s", FDownloadMgr->SavePackagePath));
  // A signed offer names the package's size: a server that sends more is cut off there
  // instead of filling the disk (the size and digest are checked after the download).
  if (FVerifyOffer && FOfferValues.PackageSize > 0) FDownloadMgr->MaxPackageSize = FOfferValues.PackageSize;
  FDownloadMgr->OnPackageDownloaded = base::Method<&TSplash::OnPackageDownloaded>(this);
  FDownloadMgr->OnProgress = base::Method<&TSplash::OnPackageProgress>(this);
  FDownloadMgr->DownloadPackage();
}

// On the download worker's thread.
void TSplash::OnPackageProgress(base::TObject*, int64_t position, int64_t total) {
  FDownloadTotal.store(total, std::memory_order_relaxed);
  FDownloadPosition.store(position, std::memory_order_release);
}

void TSplash::ShowDownloadProgress() {
  int64_t position = FDownloadPosition.load(std::memory_order_acquire);
  if (position < 0) return;  // nothing arrived yet
  ShowProgress(SplashTextTable[SelectSplashTextRow(FDefLanguage)].Downloading, position,
               FDownloadTotal.load(std::memory_order_relaxed));
}

void TSplash::ShowProgress(const char16_t* label, int64_t position, int64_t total) {
  // Only over a splash that shows: a bar alone on the desktop would puzzle people.
  if (!FLayeredContent || !IsWindowVisible(Handle())) return;
  uint32_t now = GetTickCount();
  FRate.Add(now, position);
  std::u16string text =
      label + std::u16string(u": ") + base::AnsiToWide(FormatProgress(position, total, FRate.BytesPerSecond()));
  if (FProgressLayer && text == FProgressText) return;
  if (!FProgressLayer) FProgressLayer = std::make_unique<TProgressLayer>(Handle(), base::AnsiToWide(Font.Name));
  FProgressLayer->Show(text, total > 0 ? static_cast<double>(position) / static_cast<double>(total) : -1.0);
  FProgressText = std::move(text);
  FProgressDrawn = now;
}

void TSplash::EndProgress() {
  KillTimer(Handle(), kProgressTimer);
  FProgressLayer.reset();
}

void TSplash::OnPackageDownloaded(download::TUpdateMgr*, uint8_t code) {
  KillTimer(Handle(), kProgressTimer);  // a WM_TIMER already queued finds the numbers unchanged
  if (code == 4) {
    // Cut off at the signed size: nothing of it is kept.
    RefusePackage(base::Format("the package is larger than the %d bytes the offer signed", FOfferValues.PackageSize));
    return;
  }
  if (code != 1) {
    Log("Update Package Failed,Run MainProcess");
    RunMainProcess(ExeDir() + FMainProcess);
    return;
  }
  if (!CheckPackage()) return;
  ApplyPackage();
  RunMainProcess(ExeDir() + FMainProcess);
}

bool TSplash::CheckNewConfig() {
  std::string keysText =
      UpdatePublicKeys(kBuiltInUpdatePublicKeys, ConfigRecord().ReadConfigString("System", "UpdatePublicKey", ""));
  std::vector<std::string> keys;
  std::string cause;
  if (offer::ParsePublicKeys(keysText, keys, cause) && keys.empty()) {
    Log("Update Config Unverified:= no UpdatePublicKey, updates are not verified");
    return true;
  }
  FVerifyOffer = true;
  int64_t accepted = 0;
  if (!offer::ParseCount(ConfigRecord().ReadConfigString("System", "UpdateSerial", "0"), accepted)) accepted = 0;
  if (cause.empty())
    cause = offer::CheckOfferFile(FNewConfigPath, keys, accepted, offer::TodayUtc(), FOfferValues);
  else
    cause = "UpdatePublicKey " + cause;  // a broken key setting refuses every offer
  if (!cause.empty()) {
    Log("Update Config Refused,Run MainProcess:= " + cause);
    DeleteFileA(FNewConfigPath.c_str());
    RunMainProcess(ExeDir() + FMainProcess);
    return false;
  }
  FOfferHealthySeconds = FOfferValues.HealthySeconds;
  Log(base::Format("Update Config Verified:= Serial %d, Expires %s", FOfferValues.Serial,
                   offer::FormatUtcDate(FOfferValues.ExpiresDay)));
  // From now on an offer with a lower serial is a replay. A serial that cannot be recorded
  // must not keep the main program from starting.
  if (FOfferValues.Serial > accepted) {
    try {
      ConfigRecord().WriteConfigString("System", "UpdateSerial", std::to_string(FOfferValues.Serial));
    } catch (const base::Exception& e) {
      Log(base::Format("UpdateSerial Failed:= %s", e.Message()));
    }
  }
  return true;
}

bool TSplash::CheckPackage() {
  try {
    FPackage = std::make_unique<package::TPackageFile>(FDownloadPackagePath);
  } catch (const std::exception& e) {
    if (!FVerifyOffer) return true;  // the install reports it
    RefusePackage(std::string("the downloaded package cannot be read: ") + e.what());
    return false;
  }
  if (!FVerifyOffer) return true;
  std::string cause = offer::CheckPackage(*FPackage->NewReader(), FOfferValues);
  if (cause.empty()) return true;
  RefusePackage(cause);
  return false;
}

void TSplash::RefusePackage(const std::string& cause) {
  // Neither file is kept: the next start asks the server again.
  FPackage.reset();
  Log("Update Package Refused,Run MainProcess:= " + cause);
  DeleteFileA(FDownloadPackagePath.c_str());
  DeleteFileA(FNewConfigPath.c_str());
  RunMainProcess(ExeDir() + FMainProcess);
}

bool TSplash::ApplyPackage() {
  std::string journal = GetUpdateJournalPath();
  package::TInstallOptions options;
  options.BeforeMove = TestPauseBeforeSecondMove("ORBELLE_TEST_COMMIT_PAUSE_MS");
  // The install runs on this thread: the layer is drawn from its reports, at most ten
  // times a second, and always at the end.
  FRate = TRateMeter();
  const char16_t* label = SplashTextTable[SelectSplashTextRow(FDefLanguage)].Installing;
  options.OnProgress = [this, label](int64_t done, int64_t total) {
    if (done >= total || GetTickCount() - FProgressDrawn >= kProgressPeriodMs) ShowProgress(label, done, total);
  };
  // The package that was checked, through the handle that checked it.
  package::TInstallReport report =
      FPackage ? package::InstallPackage(ExeDir(), *FPackage, journal, FNewVision, options)
               : package::InstallPackage(ExeDir(), FDownloadPackagePath, journal, FNewVision, options);
  FPackage.reset();
  Log("DirectoryDecompression Finished");
  if (!report.Installed) {
    // Nothing installed has changed. Both downloaded files stay, so the same-day rule
    // answers the next start from them without a request instead of fetching the same
    // package again; the package's last-write time is set back so that tomorrow's check
    // asks for the whole package again rather than a not-modified answer.
    platform::FileTimes times;
    times.LastWrite = kRefetchFileTime;
    platform::SetFileTimes(FDownloadPackagePath, times);
    Log(base::Format("DirectoryDecompression Incomplete,Keep PackageVision:= %s", FCurrVision));
    return false;
  }
  FinishInstall(FDownloadPackagePath);
  return true;
}

void TSplash::FinishInstall(const base::AnsiString& downloadedPath) {
  std::string journal = GetUpdateJournalPath();
  DeleteFileA(downloadedPath.c_str());
  DeleteFileA(FNewConfigPath.c_str());
  // A version that cannot be recorded must not keep the main program from starting.
  try {
    SaveCurrVision();
  } catch (const base::Exception& e) {
    Log(base::Format("SaveCurrVision Failed:= %s", e.Message()));
  }
  // The replaced files stay until the new version has started healthily once, so that a
  // release that fails its start can be rolled back (RunMainProcess judges it). Without a
  // trial (Orbelle.ini cannot be written) the backups go now, as they go after a passed
  // trial; files still in use (this launcher, its DLLs) go at the next start.
  TTrialRecord trial{FNewVision, FCurrVision, FOfferHealthySeconds};
  if (WriteTrialRecord(trial) && package::BeginTrial(ExeDir(), journal)) {
    FTrial = true;
    FTrialRecord = trial;
  } else {
    ClearTrialRecord();
    package::CompleteInstall(ExeDir(), journal);
  }
}

void TSplash::SaveCurrVision() { ConfigRecord().WriteConfigString("System", "PackageVision", FNewVision); }

void TSplash::SkinFormDestroy(base::TObject*) {
  if (FHoistgateLib) FreeLibrary(FHoistgateLib);
  FHoistgateLib = nullptr;
  FCreateProcessWithExplorer = nullptr;
}

void TSplash::WMHideSplash(ui::TMessage&) {
  if (FProgressLayer) FProgressLayer->Hide();
  Hide();
}

}  // namespace launcher
