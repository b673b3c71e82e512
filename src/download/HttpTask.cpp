#include "download/HttpTask.h"

#include "base/Exceptions.h"
#include "base/Format.h"
#include "base/Thread.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Process.h"

namespace download {

bool EventMatches(TEventKey event, TEventKey key) {
  if (!event.Code || !key.Code) return event.Context == key.Context;
  if (event.Context && key.Context) return event.Code == key.Code && event.Context == key.Context;
  return event.Code == key.Code;
}

THttpTask::THttpTask(std::string url, std::string postData, base::TStream* targetStream,
                     net::THttpProgressEvent onProgress, THttpStatusEvent onStatus, base::TObject* owner)
    : FUrl(std::move(url)),
      OnProgress(onProgress),
      OnStatus(onStatus),
      FOwner(owner),
      FPostData(std::move(postData)),
      FTargetStream(targetStream) {}

bool THttpTask::Matches(TEventKey key) const {
  return EventMatches(TEventKey::Of(OnStatus), key) || EventMatches(TEventKey::Of(OnProgress), key);
}

void THttpTask::DoStatus() {
  if (OnStatus && !FCanceled) OnStatus(this, FTaskStatus);
}

bool THttpTask::Fetch(net::THTTPClient& client) {
  try {
    if (FTargetStream) return client.Get(FUrl, FPostData, FTargetStream);
    if (!FFileName.empty()) return DownloadToFile(client, FUrl, FPostData, FFileName);
    return false;
  } catch (const std::exception& e) {
    // A port that is no number (from a fetched configuration or a redirect), a full disk,
    // a body larger than memory: the download failed. Letting the exception end the worker
    // would leave the requester waiting for an answer that never comes. The connection may
    // be in the middle of an answer, so it is closed.
    client.Abort();
    platform::DebugOutput(base::Format("Http Task Failed: %s, URL: %s", e.what(), FUrl));
    return false;
  }
}

bool THttpTask::Run(net::THTTPClient& client) {
  FClient = &client;
  net::THttpProgressEvent saved = client.OnProgress;
  bool ok = false;
  try {
    uint8_t status;
    do {
      client.OnProgress = OnProgress;
      ok = Fetch(client);
      status = ok ? 0 : 1;
      if (OnStatus && !FCanceled) {
        FTaskStatus = status;
        base::TThread::Synchronize(nullptr, base::Method<&THttpTask::DoStatus>(this));
        status = FTaskStatus;
      }
    } while (status == 2 && !FCanceled);
  } catch (...) {
    client.OnProgress = saved;
    throw;
  }
  client.OnProgress = saved;
  return ok;
}

THttpGetFileTask::THttpGetFileTask(std::string url, std::string postData, std::string fileName,
                                   net::THttpProgressEvent onProgress, THttpDoneEvent onDone, base::TObject* owner)
    : THttpTask(std::move(url), std::move(postData), nullptr, onProgress, {}, owner), OnDone(onDone) {
  FFileName = std::move(fileName);
}

bool THttpGetFileTask::Matches(TEventKey key) const {
  return THttpTask::Matches(key) || EventMatches(TEventKey::Of(OnDone), key);
}

bool THttpGetFileTask::Run(net::THTTPClient& client) {
  bool ok = !FFileName.empty() && THttpTask::Run(client);
  uint8_t code = ok ? 1 : client.State() == net::hsTimeout ? 3 : 2;
  NotifyDone(code);
  return ok;
}

void THttpGetFileTask::NotifyDone(uint8_t code) {
  if (!OnDone || FCanceled) return;
  FResultCode = code;
  base::TThread::Synchronize(nullptr, [this] {
    if (OnDone && !FCanceled) OnDone(this, FResultCode, FFileName);
  });
}

bool DownloadToFile(net::THTTPClient& client, const std::string& url, const std::string& postData,
                    const std::string& fileName) {
  base::TDateTime ifModifiedSince = 0;
  platform::FileTimes times;
  if (platform::FileExists(fileName) && platform::GetFileTimes(fileName, times)) {
    // File times are UTC; the same-day rule and If-Modified-Since work in local time.
    base::TDateTime offset = -platform::TimeZoneBiasMinutes() / 1440.0;
    base::TDateTime lastAccess = base::FileTimeToDateTime(times.LastAccess) + offset;
    if (static_cast<int64_t>(lastAccess) == static_cast<int64_t>(base::Date())) return true;
    ifModifiedSince = base::FileTimeToDateTime(times.LastWrite) + offset;
  }
  base::TMemoryStream body;
  bool ok = client.Get(url, postData, &body, ifModifiedSince);
  if (ok && body.Size() > 0) {
    platform::RemoveFile(fileName);
    try {
      base::TFileStream file(fileName, base::fmCreate);
      body.SaveToStream(file);
    } catch (const base::EFCreateError&) {
      return false;
    }
    base::TDateTime modified = client.LastModified();
    if (modified != 0) {
      platform::FileTimes t;
      t.LastWrite = base::DateTimeToFileTime(modified + platform::TimeZoneBiasMinutes() / 1440.0);
      platform::SetFileTimes(fileName, t);
    }
  } else if (ok) {
    platform::FileTimes t;
    t.LastAccess = base::DateTimeToFileTime(base::Now() + platform::TimeZoneBiasMinutes() / 1440.0);
    platform::SetFileTimes(fileName, t);
  }
  return ok;
}

}  // namespace download
