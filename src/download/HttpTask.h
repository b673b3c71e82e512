// Download tasks for the HTTP worker pool. A task belongs to whoever holds it: the
// pool's or a worker's queue while queued, the worker while it runs (the worker
// releases it after Run). A target stream given to a task stays its requester's.
//
// Notifications (OnStatus, OnDone) run on the main thread while the worker waits; once a
// task is canceled it notifies nothing and is not retried.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "base/DateTime.h"
#include "base/Object.h"
#include "base/Stream.h"
#include "net/HttpClient.h"

namespace download {

// An event as a cancellation key: code address and context. A key with an empty code
// and an owner's context matches every event with that context.
struct TEventKey {
  const void* Code = nullptr;
  const void* Context = nullptr;
  template <class... A>
  static TEventKey Of(const base::TClosure<A...>& e) {
    return {reinterpret_cast<const void*>(e.Code), e.Context};
  }
  static TEventKey Owner(const void* owner) { return {nullptr, owner}; }
  bool Empty() const { return !Code && !Context; }
};
bool EventMatches(TEventKey event, TEventKey key);

class THttpTask;
// (task, status by reference): 2 asks for another attempt.
using THttpStatusEvent = base::TClosure<THttpTask*, uint8_t&>;

class THttpTask : public base::TObject {
 public:
  THttpTask(std::string url, std::string postData, base::TStream* targetStream, net::THttpProgressEvent onProgress,
            THttpStatusEvent onStatus, base::TObject* owner);

  // Runs the request on client (in the worker thread); true when it succeeded.
  virtual bool Run(net::THTTPClient& client);
  virtual bool Matches(TEventKey key) const;

  const std::string& Url() const { return FUrl; }
  const std::string& FileName() const { return FFileName; }
  base::TObject* Owner() const { return FOwner; }
  bool Canceled() const { return FCanceled; }
  void Cancel() { FCanceled = true; }

  std::string FUrl;
  net::THttpProgressEvent OnProgress;
  THttpStatusEvent OnStatus;

 protected:
  base::TObject* FOwner;
  std::string FPostData;
  base::TStream* FTargetStream;
  std::string FFileName;
  std::atomic<bool> FCanceled{false};
  bool FResumable = false;
  int64_t FMaxFileSize = 0;
  bool FTooLarge = false;  // the file was refused for its size
  uint8_t FTaskStatus = 0;
  net::THTTPClient* FClient = nullptr;

  // The request itself: Get into the target stream or DownloadToFile. An exception from
  // the network or file layer counts as a failed request (the handlers' own exceptions,
  // raised on the main thread, still reach the worker).
  bool Fetch(net::THTTPClient& client);

 private:
  void DoStatus();
};

// (task, result code, file name): 1 downloaded or current, 2 failed, 3 timed out.
using THttpDoneEvent = base::TClosure<THttpTask*, uint8_t, const std::string&>;

class THttpGetFileTask : public THttpTask {
 public:
  THttpGetFileTask(std::string url, std::string postData, std::string fileName, net::THttpProgressEvent onProgress,
                   THttpDoneEvent onDone, base::TObject* owner);
  bool Run(net::THTTPClient& client) override;
  bool Matches(TEventKey key) const override;

  THttpDoneEvent OnDone;
  uint8_t ResultCode() const { return FResultCode; }
  // Downloads with DownloadResumable instead of DownloadToFile (set before queuing).
  void SetResumable(bool value) { FResumable = value; }
  // With a resumable download: the most bytes the file may have (0: no limit).
  void SetMaxFileSize(int64_t bytes) { FMaxFileSize = bytes; }

 private:
  void NotifyDone(uint8_t code);
  uint8_t FResultCode = 0;
};

// Downloads url into fileName with the same-day rule: a file whose last access (local
// date) is today counts as current and nothing is sent; otherwise its last-write time
// goes out as If-Modified-Since, a new body replaces the file and takes the server's
// Last-Modified as its last-write time, and a not-modified answer marks the file as
// accessed now. False when the request failed or the file cannot be created.
bool DownloadToFile(net::THTTPClient& client, const std::string& url, const std::string& postData,
                    const std::string& fileName);

// Downloads url into fileName so that a download that breaks off can continue: the body
// goes straight to the file, and while the download is unfinished fileName + ".resume"
// holds the server's validator (a strong ETag, else the Last-Modified text). The next
// attempt asks for the rest (Range from the file's size, If-Range with the validator):
// a 206 answer is appended, a 200 answer (the file changed) starts the file anew. An
// answer without a validator cannot be continued later: a broken download then leaves
// no partial file. True when the whole file is there (the marker is then removed). A
// whole file (no marker) last accessed today is taken as it is, as DownloadToFile does.
// maxSize > 0: a file that would grow past maxSize bytes (by its announced length, or as
// it arrives) is refused, and neither the part nor the marker is kept.
// tooLarge (optional) tells whether that was why it failed.
bool DownloadResumable(net::THTTPClient& client, const std::string& url, const std::string& fileName,
                       int64_t maxSize = 0, bool* tooLarge = nullptr);
extern const char* const kResumeSuffix;

}  // namespace download
