#include "download/UpdateMgr.h"

namespace download {

TUpdateMgr::TUpdateMgr() : FHttpGet(std::make_unique<THttpGet>()) {}

TUpdateMgr::~TUpdateMgr() { FHttpGet->CancelTasks(this); }

bool TUpdateMgr::DownloadConfig() {
  return FHttpGet->AddFileTask(ConfigUrl, "", SaveConfigPath, {}, base::Method<&TUpdateMgr::ConfigDone>(this), this);
}

bool TUpdateMgr::DownloadPackage() {
  // The package is the large download: one that breaks off continues where it stopped.
  return FHttpGet->AddFileTask(PackageUrl, "", SavePackagePath, OnProgress,
                               base::Method<&TUpdateMgr::PackageDone>(this), this, true, MaxPackageSize);
}

void TUpdateMgr::ConfigDone(THttpTask*, uint8_t code, const std::string&) {
  if (OnConfigDownloaded) OnConfigDownloaded(this, code);
}

void TUpdateMgr::PackageDone(THttpTask*, uint8_t code, const std::string&) {
  if (OnPackageDownloaded) OnPackageDownloaded(this, code);
}

}  // namespace download
