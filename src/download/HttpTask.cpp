#include "download/HttpTask.h"

#include <algorithm>
#include <memory>

#include "base/Exceptions.h"
#include "base/Format.h"
#include "base/Strings.h"
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
    if (!FFileName.empty() && FResumable) return DownloadResumable(client, FUrl, FFileName, FMaxFileSize, &FTooLarge);
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
  uint8_t code = ok ? 1 : FTooLarge ? 4 : client.State() == net::hsTimeout ? 3 : 2;
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

namespace {

// The same-day rule: a file last touched today is used as it is, without a request.
// lastWrite (local time) is 0 when the file is missing or unreadable.
bool TouchedToday(const std::string& fileName, base::TDateTime& lastWrite) {
  lastWrite = 0;
  platform::FileTimes times;
  if (!platform::FileExists(fileName) || !platform::GetFileTimes(fileName, times)) return false;
  // File times are UTC; the same-day rule and If-Modified-Since work in local time.
  base::TDateTime offset = -platform::TimeZoneBiasMinutes() / 1440.0;
  base::TDateTime lastAccess = base::FileTimeToDateTime(times.LastAccess) + offset;
  lastWrite = base::FileTimeToDateTime(times.LastWrite) + offset;
  return static_cast<int64_t>(lastAccess) == static_cast<int64_t>(base::Date());
}

}  // namespace

bool DownloadToFile(net::THTTPClient& client, const std::string& url, const std::string& postData,
                    const std::string& fileName) {
  base::TDateTime ifModifiedSince = 0;
  if (TouchedToday(fileName, ifModifiedSince)) return true;
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

const char* const kResumeSuffix = ".resume";

namespace {

// The validator If-Range can carry: a strong ETag, else the Last-Modified text.
std::string Validator(const net::THTTPClient& client) {
  std::string etag = client.GetHeaderValue("ETag", ':');
  if (!etag.empty() && !base::StartsText("W/", etag)) return etag;
  return client.GetHeaderValue("Last-Modified", ':');
}

// The first byte position of a Content-Range "bytes first-last/total" value; -1 when
// unreadable.
int64_t RangeStart(const net::THTTPClient& client) {
  std::string v = client.GetHeaderValue("Content-Range", ':');
  if (!base::StartsText("bytes ", v)) return -1;
  size_t dash = v.find('-', 6);
  int64_t first = -1;
  if (dash == std::string::npos || !net::ParseContentLength(std::string_view(v).substr(6, dash - 6), first)) return -1;
  return first;
}

std::string ReadMarker(const std::string& name) {
  try {
    base::TFileStream f(name, platform::fmOpenRead | platform::fmShareDenyWrite);
    std::string text(static_cast<size_t>(std::min<int64_t>(f.Size(), 1024)), '\0');
    text.resize(static_cast<size_t>(std::max(f.Read(text.data(), static_cast<int32_t>(text.size())), 0)));
    return base::Trim(text);
  } catch (const base::EFileStreamError&) {
    return {};
  }
}

bool WriteMarker(const std::string& name, const std::string& validator) {
  try {
    base::TFileStream f(name, base::fmCreate);
    f.WriteBuffer(validator.data(), static_cast<int32_t>(validator.size()));
    return true;
  } catch (const base::EFileStreamError&) {
    return false;
  }
}

// Passes writes on to the file until it would hold more than its limit.
class TCappedFile : public base::TStream {
 public:
  TCappedFile(base::TStream& file, int64_t room) : FFile(file), FRoom(room) {}
  int32_t Read(void*, int32_t) override { return 0; }
  int32_t Write(const void* buffer, int32_t count) override {
    if (count > FRoom) {
      Exceeded = true;
      return 0;
    }
    FRoom -= count;
    return FFile.Write(buffer, count);
  }
  int64_t Seek(int64_t offset, base::TSeekOrigin origin) override { return FFile.Seek(offset, origin); }
  bool Exceeded = false;

 private:
  base::TStream& FFile;
  int64_t FRoom;
};

void RefuseOversize(net::THTTPClient& client, const std::string& fileName, int64_t maxSize) {
  platform::DebugOutput(base::Format("Http Download refused: %s is larger than %d bytes", fileName, maxSize));
  client.Abort();
  platform::RemoveFile(fileName + kResumeSuffix);
  platform::RemoveFile(fileName);
}

bool FetchRest(net::THTTPClient& client, const std::string& url, const std::string& fileName, bool mayResume,
               int64_t maxSize, bool& tooLarge) {
  const std::string marker = fileName + kResumeSuffix;
  std::string validator = mayResume ? ReadMarker(marker) : std::string();
  int64_t have = validator.empty() ? 0 : platform::FileSize(fileName);
  if (have <= 0) validator.clear();
  // Ranges count bytes of the file as stored: no content encoding may come between.
  bool acceptEncoding = client.AcceptEncoding;
  client.AcceptEncoding = false;
  client.IfRange = validator;
  bool opened = client.OpenURL(url, "", 0, have > 0, have, 0, false);
  client.IfRange.clear();
  client.AcceptEncoding = acceptEncoding;
  if (!opened) {
    // 416: the saved part does not fit the file on the server any more.
    if (have > 0 && client.StatusCode == 416) {
      platform::RemoveFile(marker);
      return FetchRest(client, url, fileName, false, maxSize, tooLarge);
    }
    return false;
  }
  bool append = client.StatusCode == 206;
  if (append && (have == 0 || RangeStart(client) != have)) {
    platform::DebugOutput(base::Format("Http Resume refused: %s", client.GetHeaderValue("Content-Range", ':')));
    client.Abort();
    platform::RemoveFile(marker);
    return false;
  }
  if (!append) platform::DebugOutput(base::Format("Http Download from the start: %s", fileName));
  int64_t kept = append ? have : 0;
  if (maxSize > 0 &&
      (kept > maxSize || (client.ContentLengthValid() && client.ResponseContentLength() > maxSize - kept))) {
    RefuseOversize(client, fileName, maxSize);
    tooLarge = true;
    return false;
  }
  std::string current = Validator(client);
  std::unique_ptr<base::TFileStream> file;
  try {
    file = std::make_unique<base::TFileStream>(
        fileName, append ? platform::fmOpenReadWrite | platform::fmShareDenyWrite : base::fmCreate);
    if (append) file->Seek(0, base::TSeekOrigin::soEnd);
  } catch (const base::EFileStreamError&) {
    client.Abort();
    return false;
  }
  // The marker goes first: a download that breaks off from here on can continue.
  if (current.empty() || !WriteMarker(marker, current)) platform::RemoveFile(marker);
  if (maxSize > 0) {
    TCappedFile capped(*file, maxSize - kept);
    try {
      client.ReadBody(capped);
    } catch (const base::EWriteError&) {
      if (!capped.Exceeded) throw;
    }
    if (capped.Exceeded) {
      file.reset();
      RefuseOversize(client, fileName, maxSize);
      tooLarge = true;
      return false;
    }
  } else {
    client.ReadBody(*file);
  }
  file.reset();
  if (!client.BodyComplete()) {
    if (current.empty()) platform::RemoveFile(fileName);
    return false;
  }
  platform::RemoveFile(marker);
  base::TDateTime modified = client.LastModified();
  if (modified != 0) {
    platform::FileTimes t;
    t.LastWrite = base::DateTimeToFileTime(modified + platform::TimeZoneBiasMinutes() / 1440.0);
    platform::SetFileTimes(fileName, t);
  }
  return true;
}

}  // namespace

bool DownloadResumable(net::THTTPClient& client, const std::string& url, const std::string& fileName, int64_t maxSize,
                       bool* tooLarge) {
  bool refused = false;
  if (tooLarge) *tooLarge = false;
  // A whole package from today (one that did not install is kept for the day) is not
  // fetched again; a part left by a broken download is continued.
  base::TDateTime lastWrite;
  if (!platform::FileExists(fileName + kResumeSuffix) && TouchedToday(fileName, lastWrite)) return true;
  bool ok = FetchRest(client, url, fileName, true, maxSize, refused);
  if (tooLarge) *tooLarge = refused;
  return ok;
}

}  // namespace download
