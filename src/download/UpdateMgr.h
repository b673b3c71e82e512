// TUpdateMgr: the splash window's handle on the download service. It holds the URLs and
// local paths of one update run, starts the configuration and package downloads, and
// reports each end through an event on the main thread. Releasing it cancels what is
// still running: no event follows.
#pragma once

#include <memory>
#include <string>

#include "download/HttpGet.h"

namespace download {

class TUpdateMgr;
// (manager, result code): 1 downloaded or current, 2 failed, 3 timed out, 4 refused as
// larger than MaxPackageSize.
using TUpdateDoneEvent = base::TClosure<TUpdateMgr*, uint8_t>;

class TUpdateMgr : public base::TObject {
 public:
  TUpdateMgr();
  ~TUpdateMgr() override;

  bool DownloadConfig();
  bool DownloadPackage();

  std::string ConfigUrl;
  std::string SaveConfigPath;
  TUpdateDoneEvent OnConfigDownloaded;
  TUpdateDoneEvent OnPackageDownloaded;
  net::THttpProgressEvent OnProgress;
  std::string PackageUrl;
  std::string SavePackagePath;
  // The most bytes the package may have (0: no limit); a larger one is not downloaded.
  int64_t MaxPackageSize = 0;

 private:
  void ConfigDone(THttpTask* task, uint8_t code, const std::string& fileName);
  void PackageDone(THttpTask* task, uint8_t code, const std::string& fileName);
  std::unique_ptr<THttpGet> FHttpGet;
};

}  // namespace download
