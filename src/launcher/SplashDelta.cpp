// The splash's delta step: when the offer carries a delta from the installed version, the
// delta is fetched instead of the package, checked against its offered size and SHA-256
// and installed through the same staging folder and journal (package/DeltaPackage.h).
// Whatever goes wrong with it (download, size, digest, a base file the user changed, a
// bad diff, a result that does not match the manifest), one line says why and the full
// package is fetched in the same start, so a delta never strands an installation.
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "base/Format.h"
#include "base/Log.h"
#include "base/Stream.h"
#include "launcher/ProgramFolders.h"
#include "launcher/SplashForm.h"
#include "offer/OfferRules.h"
#include "package/DeltaPackage.h"
#include "package/PackageFile.h"
#include "package/StagedInstall.h"
#include "platform/Files.h"

namespace launcher {
namespace {
void Log(const base::AnsiString& message) { base::WriteLog("[Splash]==================== " + message); }

// The configuration's text (already checked as a signed offer when keys are configured).
std::string ReadConfigText(const std::string& path) {
  try {
    base::TFileStream file(path, platform::fmOpenRead | platform::fmShareDenyWrite);
    int64_t size = file.Size();
    if (size > offer::kMaxConfigSize) return {};
    std::string text(static_cast<size_t>(size), '\0');
    if (size > 0) file.ReadBuffer(text.data(), static_cast<int32_t>(size));
    return text;
  } catch (const std::exception&) {
    return {};
  }
}
}  // namespace

bool TSplash::DownloadDelta() {
  if (FDeltaTried) return false;
  FDeltaTried = true;
  std::vector<offer::TDeltaOffer> deltas;
  std::string problem;
  if (FVerifyOffer) {
    // From the bytes the signature covered, as read by the offer check.
    deltas = FOfferValues.Deltas;
    problem = FOfferValues.DeltaProblem;
  } else {
    offer::ReadDeltaOffers(ReadConfigText(FNewConfigPath), deltas, problem);
  }
  if (!problem.empty()) {
    Log("Update Delta Skipped,Take Package:= " + problem);
    return false;
  }
  if (deltas.empty()) return false;  // an offer without deltas works as it always did
  const offer::TDeltaOffer* chosen = nullptr;
  for (const offer::TDeltaOffer& d : deltas)
    if (d.From == FCurrVision) {
      chosen = &d;
      break;
    }
  if (!chosen) {
    Log(base::Format("Update Delta Skipped,Take Package:= no delta from %s", FCurrVision));
    return false;
  }
  FDelta = *chosen;
  FDownloadDeltaPath = ExeDir() + "NVOrbelle_UpdateConfig.vtdelta";
  Log(base::Format("Update Delta:= from %s, %s (%d bytes)", FDelta.From, FDelta.Path, FDelta.Size));
  FDownloadMgr->PackageUrl = FDelta.Path;
  FDownloadMgr->SavePackagePath = FDownloadDeltaPath;
  // The offered size caps the download, as the signed package size does.
  FDownloadMgr->MaxPackageSize = FDelta.Size;
  FDownloadMgr->OnPackageDownloaded = base::Method<&TSplash::OnDeltaDownloaded>(this);
  FDownloadMgr->OnProgress = base::Method<&TSplash::OnPackageProgress>(this);
  FDownloadMgr->DownloadPackage();
  return true;
}

void TSplash::OnDeltaDownloaded(download::TUpdateMgr*, uint8_t code) {
  KillTimer(Handle(), kProgressTimer);  // DownloadPackage sets it again for the fall-back
  std::string cause;
  if (code == 4) {
    cause = base::Format("the delta is larger than the %d bytes offered", FDelta.Size);
  } else if (code != 1) {
    // A broken-off download keeps its part (and validator) for the next start.
    cause = "the delta download failed";
  } else {
    offer::TOfferValues expected;
    expected.PackageSize = FDelta.Size;
    expected.PackageSha256 = FDelta.Sha256;
    // Checked and installed through one handle (writes denied): what is installed is
    // what was checked.
    std::unique_ptr<package::TPackageFile> delta;
    try {
      delta = std::make_unique<package::TPackageFile>(FDownloadDeltaPath);
      cause = offer::CheckPackage(*delta->NewReader(), expected);
    } catch (const std::exception& e) {
      cause = std::string("the downloaded delta cannot be read: ") + e.what();
    }
    if (!cause.empty()) {
      cause = "delta: " + cause;
    } else {
      std::string journal = GetUpdateJournalPath();
      package::TInstallReport report = package::InstallDelta(ExeDir(), *delta, journal, FNewVision);
      delta.reset();
      if (report.Installed) {
        Log(base::Format("DeltaUpdate Finished:= %d files", report.Files));
        FinishInstall(FDownloadDeltaPath);
        RunMainProcess(ExeDir() + FMainProcess);
        return;
      }
      cause = report.Problems.empty() ? std::string("the delta did not install") : report.Problems.front();
    }
    delta.reset();
    DeleteFileA(FDownloadDeltaPath.c_str());  // of no use to this installation
  }
  Log("Update Delta Failed,Take Package:= " + cause);
  FDownloadMgr->MaxPackageSize = 0;  // the package's own cap, if any, is set anew
  DownloadPackage();
}

}  // namespace launcher
