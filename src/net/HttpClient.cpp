// The request side of THTTPClient: URL handling, connection choice and reuse, the
// request head and bodies, the retry on a stale kept-alive connection, redirects and
// not-modified answers.
#include "net/HttpClient.h"

#include <algorithm>

#include "base/Format.h"
#include "base/Strings.h"
#include "net/CookieManager.h"
#include "net/HTTPApp.h"
#include "net/QZTCPClient.h"
#include "platform/Process.h"
#include "platform/Sockets.h"

namespace net {

using base::Format;
using base::TStream;

namespace {
const char kBoundary[] = "---------------------------7d7da1b60556";
// Two more dashes than the boundary of the head: the delimiter line of every part.
const char kDelimiter[] = "-----------------------------7d7da1b60556\r\n";

bool IsMultipart(const std::vector<TMultiPartFormData>& items) {
  return items.size() > 1 || (!items.empty() && !items[0].Name.empty());
}

int64_t Remaining(TStream& s) { return s.Size() - s.Position(); }

// A URL with a control character would split the request line or a header line (a
// Location "/ok\rX-Injected: 1" must not become a header of the next request).
bool HasControlCharacters(const std::string& url) {
  return std::any_of(url.begin(), url.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == '\x7F'; });
}
}  // namespace

THTTPClient::THTTPClient() : FTcpClient(std::make_unique<TQZTCPClient>()) {
  FTcpClient->SetPort("80");
  FTcpClient->Interrupt = &FAbortRequested;
  FTcpClient->Socket().Interrupt = &FAbortRequested;
  FTcpClient->OnError = {[](void*, base::TObject*, int) {}, nullptr};
}

THTTPClient::~THTTPClient() {
  Aborted = true;
  CloseSocket();
}

void THTTPClient::PublishSocket() {
  std::lock_guard<std::mutex> g(FSocketLock);
  FLiveSocket = FTcpClient->Connected() ? FTcpClient->Socket().Handle() : -1;
}

void THTTPClient::WithdrawSocket() {
  std::lock_guard<std::mutex> g(FSocketLock);
  FLiveSocket = -1;
}

bool THTTPClient::ConnectSocket() {
  bool ok = !FAbortRequested && FTcpClient->Connect();
  PublishSocket();
  if (FAbortRequested) {
    // Aborted while the connection was being made, before another thread could see it.
    Abort();
    return false;
  }
  return ok;
}

void THTTPClient::CloseSocket() {
  WithdrawSocket();
  FTcpClient->Disconnect();
}

void THTTPClient::Abort() {
  Aborted = true;
  FState = hsClosed;
  CloseSocket();
}

void THTTPClient::AbortFromOtherThread() {
  FAbortRequested = true;
  Aborted = true;
  FState = hsClosed;
  std::lock_guard<std::mutex> g(FSocketLock);
  if (FLiveSocket != -1) platform::SocketShutdown(FLiveSocket, platform::kShutdownBoth);
}

bool THTTPClient::Get(const std::string& url, const std::string& postData, TStream* stream,
                      base::TDateTime ifModifiedSince, bool useRange, int64_t rangeStart, int64_t rangeLength) {
  if (!OpenURL(url, postData, ifModifiedSince, useRange, rangeStart, rangeLength, false)) return false;
  base::TMemoryStream sink;  // a request without a target still reads its body off the wire
  ReadBody(stream ? *stream : sink);
  // A body cut short (a reset, a missing last chunk, a broken compressed stream) is a
  // failed download, never a shorter file.
  if (!FBodyComplete) return false;
  FState = hsDone;
  return true;
}

bool THTTPClient::OpenURL(const std::string& url, const std::string& postData, base::TDateTime ifModifiedSince,
                          bool useRange, int64_t rangeStart, int64_t rangeLength, bool headOnly) {
  if (postData.empty()) return Request(url, {}, ifModifiedSince, useRange, rangeStart, rangeLength, headOnly);
  base::TStringStream body(postData);
  return Request(url, {TMultiPartFormData{"", "", &body}}, ifModifiedSince, useRange, rangeStart, rangeLength,
                 headOnly);
}

bool THTTPClient::Request(const std::string& url, const std::vector<TMultiPartFormData>& items,
                          base::TDateTime ifModifiedSince, bool useRange, int64_t rangeStart, int64_t rangeLength,
                          bool headOnly) {
  return RequestImpl(url, items, ifModifiedSince, useRange, rangeStart, rangeLength, headOnly, 0);
}

bool THTTPClient::RequestImpl(const std::string& url, const std::vector<TMultiPartFormData>& items,
                              base::TDateTime ifModifiedSince, bool useRange, int64_t rangeStart, int64_t rangeLength,
                              bool headOnly, int redirects) {
  if (HasControlCharacters(url)) {
    platform::DebugOutput(Format("Http Refused URL with control characters: %s", base::Trim(url)));
    return false;
  }
  std::string authority, path, port, host, lastSegment;
  if (SplitURL(url, authority, path, port, host, lastSegment)) {
    if (AutoReferer && Referer.empty()) Referer = URLDirectory(url);
    bool https = base::StartsText("https://", url);
    // The scheme decides before connecting: after an https request, an http URL must not
    // have TLS started on its plain port (nor the reverse).
    if (https != FTcpClient->UseSSL()) {
      CloseSocket();
      FTcpClient->SetUseSSL(https);
    }
    if (host.empty()) host = FTcpClient->Host();
    if (port.empty()) port = https ? "443" : "80";
    if (authority.empty()) authority = port == (https ? "443" : "80") ? host : Format("%s:%s", host, port);
    if (!ConnectTo(host, port)) return false;
  } else {
    if (url.empty()) return false;
    path = url[0] == '/' ? url : "/" + url;
    // A relative URL stays on the connection's server; the Host line names its port
    // unless it is the scheme's default.
    const std::string& current = FTcpClient->Port();
    bool defaultPort = current.empty() || current == (FTcpClient->UseSSL() ? "443" : "80");
    authority = defaultPort ? FTcpClient->Host() : Format("%s:%s", FTcpClient->Host(), current);
    if (!ConnectTo(FTcpClient->Host(), FTcpClient->Port())) return false;
  }
  if (FTcpClient->UseSSL() && !FTcpClient->SSLActive()) return false;
  return SendRequest(authority, path, items, ifModifiedSince, useRange, rangeStart, rangeLength, headOnly, redirects);
}

bool THTTPClient::ConnectTo(const std::string& host, const std::string& port) {
  FState = hsBusy;
  WithdrawSocket();
  // A connection shut down from another thread is of no further use.
  if (Aborted) FTcpClient->Disconnect();
  FTcpClient->SetHost(host);
  FTcpClient->SetPort(port);
  if (FTcpClient->Connected()) {
    double elapsed = (base::Now() - FTcpClient->LastActivity()) * 86400.0;
    int64_t seconds = static_cast<int64_t>(elapsed + 0.5);
    // Reused only while the previous answer's announced keep-alive time lasts.
    if (seconds >= KeepAliveTimeout()) FTcpClient->Disconnect();
  }
  Reused = FTcpClient->Connected();
  ResetResponse();
  return ConnectSocket();
}

void THTTPClient::ResetResponse() {
  ResponseHeaders.Clear();
  ContentLength = 0;
  StatusCode = 0;
  Aborted = false;
}

std::string THTTPClient::ComposeHead(const std::string& method, const std::string& authority, const std::string& path,
                                     const std::vector<TMultiPartFormData>& items, base::TDateTime ifModifiedSince,
                                     bool useRange, int64_t rangeStart, int64_t rangeLength) const {
  std::string h = method + Format(" %s HTTP/1.%d", path, MinorVersion) + "\r\n";
  h += Format("Host: %s", authority) + "\r\n";
  h += Format("Accept: %s", Accept) + "\r\n";
  h += "Pragma: no-cache\r\n";
  h += "Cache-Control: no-cache\r\n";
  if (useRange && rangeStart > 0) {
    if (rangeLength > 0)
      h += Format("Range: bytes=%d-%d", rangeStart, rangeStart + rangeLength) + "\r\n";
    else
      h += Format("Range: bytes=%d-", rangeStart) + "\r\n";
    // The rest of the same file only: a changed file comes whole (200) instead.
    if (!IfRange.empty()) h += "If-Range: " + IfRange + "\r\n";
  }
  if (!Referer.empty()) h += Format("Referer: %s", Referer) + "\r\n";
  if (!UserAgent.empty()) h += Format("User-Agent: %s", UserAgent) + "\r\n";
  // No Proxy-Authorization here: an HTTP proxy carries every request through a CONNECT
  // tunnel, which already sent the credentials; this head goes to the origin server.
  std::string cookies = CookieManager().GetCookieHeader(authority, path, FTcpClient->UseSSL());
  if (!cookies.empty()) h += "Cookie: " + cookies + "\r\n";
  h += KeepAlive ? "Connection: Keep-Alive\r\n" : "Connection: close\r\n";
  if (AcceptEncoding) h += "Accept-Encoding: gzip,deflate\r\n";
  if (ifModifiedSince != 0) h += "If-Modified-Since:" + LocalToHTTPDate(ifModifiedSince) + "\r\n";
  if (items.empty()) {
    h += "\r\n";
  } else if (IsMultipart(items)) {
    // The body writer continues the head with its Content-Length line.
    h += std::string("Content-Type:multipart/form-data; boundary=") + kBoundary + "\r\n";
  } else {
    int64_t n = items[0].Stream ? Remaining(*items[0].Stream) : 0;
    if (dynamic_cast<base::TStringStream*>(items[0].Stream))
      h += "Content-Type:application/x-www-form-urlencoded; charset=UTF-8\r\n";
    else
      h += "Content-Type:application/octet-stream\r\nContent-Transfer-Encoding: binary\r\n";
    h += "Content-Length" + Format(": %d", n) + "\r\n\r\n";
  }
  return h;
}

bool THTTPClient::SendRequest(const std::string& authority, const std::string& rawPath,
                              const std::vector<TMultiPartFormData>& items, base::TDateTime ifModifiedSince,
                              bool useRange, int64_t rangeStart, int64_t rangeLength, bool headOnly, int redirects) {
  FState = hsBusy;
  std::string path = EncodeSpaces(rawPath);
  bool result = false;
  std::vector<int64_t> bodyStarts;
  for (const TMultiPartFormData& item : items) bodyStarts.push_back(item.Stream ? item.Stream->Position() : 0);
  for (int round = 0;; ++round) {
    ResetResponse();
    bool hasBody = !items.empty();
    std::string method = headOnly ? "HEAD" : hasBody ? "POST" : "GET";
    std::string head = ComposeHead(method, authority, path, items, ifModifiedSince, useRange, rangeStart, rangeLength);
    bool ok = false;
    for (;;) {
      platform::DebugOutput(Format("Http Request Host: %s, URL: %s", authority, path));
      // Every attempt (a retry on a fresh connection, a repeat after a 304) sends the
      // whole body again.
      if (hasBody) RewindBody(items, bodyStarts);
      ok = FTcpClient->Send(head.data(), static_cast<int>(head.size())) == static_cast<int>(head.size());
      if (ok && hasBody) ok = SendBody(items);
      if (!ok)
        FState = hsSendFailed;
      else
        ok = ReadHeaders();
      // A kept-alive connection the server dropped meanwhile gets one fresh attempt.
      if (!ok && Reused && !Aborted) {
        Reused = false;
        Abort();
        Aborted = false;
        FState = hsBusy;
        if (ConnectSocket()) continue;
      }
      break;
    }
    if (!ok) break;
    if (ResponseHeaders.Count() > 0) platform::DebugOutput(ResponseHeaders[0]);
    std::string status = ResponseHeaders.Count() > 0 ? ResponseHeaders[0] : std::string();
    size_t space = status.find(' ');
    StatusCode =
        space == std::string::npos ? 0 : base::StrToIntDef(ExtractDigits(status, static_cast<int>(space) + 1), 0);
    if (StatusCode == 200 || StatusCode == 206) {
      if (!ContentLengthValid()) {
        // The end of such a body cannot be found; what follows it on the connection would
        // be taken for the next answer.
        platform::DebugOutput(Format("Http Bad Content-Length: %s", GetHeaderValue("Content-Length", ':')));
        break;
      }
      TakeCookies(authority);
      result = true;
      break;
    }
    if (StatusCode == 302) {
      std::string location = GetHeaderValue("Location", ':');
      platform::DebugOutput(Format("Http Redirect to: %s", location));
      if (redirects >= kMaxRedirects) break;
      if (FLocationUnsafe || HasControlCharacters(location)) {
        platform::DebugOutput("Http Redirect refused: control characters in Location");
        break;
      }
      // The redirect's own body is never read: keep the connection only when it has none.
      if (IsChunked() || ResponseContentLength() != 0 || !KeepConnection()) CloseSocket();
      result = RequestImpl(location, items, ifModifiedSince, useRange, rangeStart, rangeLength, false, redirects + 1);
      return result;
    }
    if (StatusCode == 304) {
      if (ifModifiedSince != 0) {
        result = true;
        break;
      }
      TakeCookies(authority);
      if (round >= kMaxNotModifiedRepeats) break;
      // A 304 carries no body; the same request goes again.
      continue;
    }
    break;
  }
  // A 304 never has a body, though HTTP/1.1 lets it name the size of the unchanged file:
  // taken as the body's length, it would fail every not-modified answer that carries it.
  if (result)
    ContentLength = StatusCode == 304 ? 0 : std::max<int64_t>(ResponseContentLength(), 0);
  else if (FState == hsTimeout)
    Abort();
  else if (FTcpClient->Connected())
    // The body of a refused answer (a 404 page, say) is not read; left on a kept connection
    // it would be taken for the next answer's head.
    CloseSocket();
  return result;
}

bool THTTPClient::SendBody(const std::vector<TMultiPartFormData>& items) {
  if (!IsMultipart(items)) {
    TStream* s = items[0].Stream;
    if (!s) return true;
    int64_t n = Remaining(*s);
    return FTcpClient->SendStream(*s) >= n;
  }
  Position = 0;
  ContentLength = 0;
  const std::string delimiter = kDelimiter;
  int64_t total = static_cast<int64_t>(delimiter.size());
  std::vector<std::string> heads;
  for (const TMultiPartFormData& item : items) {
    if (!item.Stream) continue;
    item.Stream->SetPosition(0);
    std::string head = "Content-Disposition: form-data;";
    if (!item.FileName.empty())
      head += Format(" name=\"%s\"; filename=\"%s\"", HTMLEscape(item.Name), HTMLEscape(item.FileName)) +
              "\r\nContent-Type:file\r\n\r\n";
    else
      head += Format(" name=\"%s\"", HTMLEscape(item.Name)) + "\r\n\r\n";
    int64_t size = item.Stream->Size();
    total += static_cast<int64_t>(head.size()) + size + static_cast<int64_t>(delimiter.size()) + 2;
    ContentLength += size;
    heads.push_back(std::move(head));
  }
  std::string start = "Content-Length:" + std::to_string(total) + "\r\n\r\n" + delimiter;
  if (FTcpClient->Send(start.data(), static_cast<int>(start.size())) <= 0) return false;
  size_t h = 0;
  for (const TMultiPartFormData& item : items) {
    if (!item.Stream) continue;
    const std::string& head = heads[h++];
    if (FTcpClient->Send(head.data(), static_cast<int>(head.size())) <= 0) return false;
    if (!SendPartStream(*item.Stream)) return false;
    std::string tail = "\r\n" + delimiter;
    if (FTcpClient->Send(tail.data(), static_cast<int>(tail.size())) <= 0) return false;
  }
  return true;
}

THTTPClient::TTransferBuffer::TTransferBuffer(int32_t size) : FData(FStack), FSize(size > 0 ? size : 8192) {
  if (FSize > static_cast<int32_t>(sizeof FStack)) {
    FHeap.resize(static_cast<size_t>(FSize));
    FData = FHeap.data();
  }
}

void THTTPClient::RewindBody(const std::vector<TMultiPartFormData>& items, const std::vector<int64_t>& starts) {
  for (size_t i = 0; i < items.size() && i < starts.size(); ++i)
    if (items[i].Stream) items[i].Stream->SetPosition(starts[i]);
}

bool THTTPClient::SendPartStream(TStream& stream) {
  TTransferBuffer transfer(BufferSize);
  char* buffer = transfer.Data();
  int32_t size = transfer.Size();
  int64_t remaining = Remaining(stream);
  int64_t total = 0;
  for (;;) {
    int32_t n = stream.Read(buffer, size);
    if (n <= 0) break;
    n = static_cast<int32_t>(std::min<int64_t>(n, remaining - total));
    if (n <= 0) break;
    if (FTcpClient->Send(buffer, n) <= 0) return false;
    total += n;
    Position += n;
    Progress();
  }
  return total >= remaining;
}

int32_t THTTPClient::KeepAliveRemaining() {
  if (!FTcpClient->Connected()) return 0;
  double elapsed = (base::Now() - FTcpClient->LastActivity()) * 86400.0;
  return std::max<int32_t>(0, KeepAliveTimeout() - static_cast<int32_t>(elapsed));
}

bool THTTPClient::TakeCookies(const std::string& host) {
  bool any = false;
  for (int i = 0; i < ResponseHeaders.Count(); ++i) {
    const std::string& line = ResponseHeaders[i];
    if (!base::StartsText("SET-COOKIE", line)) continue;
    size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    CookieManager().SetCookie(host, base::Trim(line.substr(colon + 1)));
    any = true;
  }
  return any;
}

}  // namespace net
