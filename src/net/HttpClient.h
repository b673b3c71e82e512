// THTTPClient: the program's own HTTP/1.1 client. One instance lives in each download
// worker thread and runs one request at a time over its own TQZTCPClient, keeping the
// connection open between requests when the server allows it.
//
// Failures are results, not exceptions: a request returns false and State tells why
// (a SOCKS proxy error from the TCP client is the one exception that passes through).
// Only Abort may be called from another thread: it closes the socket under a running
// request, which then fails. Trace lines go to the debug output.
//
// Limits on what a server can make the client do (the protocol sets none):
//   TQZTCPClient::kMaxLineLength  bytes in one response head line (longer: the request fails)
//   kMaxHeaderLines       lines in one response head (more: the request fails)
//   kMaxRedirects         302 answers followed for one request
//   kMaxNotModifiedRepeats  repeats of a request answered 304 without If-Modified-Since
//   kMaxTrailerLines      trailer lines consumed after the last chunk
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/DateTime.h"
#include "base/Object.h"
#include "base/Stream.h"
#include "base/StringList.h"

namespace net {

class TQZTCPClient;

enum THttpState : uint8_t { hsDone = 0, hsSendFailed = 1, hsTimeout = 2, hsClosed = 3, hsBusy = 4 };

// One form item of a request body (the stream is not owned).
struct TMultiPartFormData {
  std::string Name;
  std::string FileName;
  base::TStream* Stream = nullptr;
};

// (Sender, Position, Total)
using THttpProgressEvent = base::TClosure<base::TObject*, int32_t, int32_t>;

class THTTPClient : public base::TObject {
 public:
  static constexpr int kMaxHeaderLines = 256;
  static constexpr int kMaxRedirects = 10;
  static constexpr int kMaxNotModifiedRepeats = 2;
  static constexpr int kMaxTrailerLines = 64;

  THTTPClient();
  ~THTTPClient() override;

  // Closes the connection; State := hsClosed. On the thread that runs the requests.
  void Abort();
  // The same from any other thread while a request may be running: the socket is shut
  // down under the request, which then fails at its next read or write; the owning
  // thread closes it at its next step. Nothing the running request uses is freed. An
  // abort that comes while no socket is open (name lookup, connect, TLS handshake, or
  // before the request) is kept: the request fails as soon as its connection is made,
  // and so does every later one until ClearAbortRequest.
  void AbortFromOtherThread();
  // Forgets an abort from another thread (the owner, before it starts new work).
  void ClearAbortRequest() { FAbortRequested = false; }

  // GET (or POST when postData is not empty) of url into stream; ifModifiedSince 0 =
  // none. True when the whole body arrived (State then hsDone).
  bool Get(const std::string& url, const std::string& postData, base::TStream* stream,
           base::TDateTime ifModifiedSince = 0, bool useRange = false, int32_t rangeStart = 0, int32_t rangeLength = 0);
  bool OpenURL(const std::string& url, const std::string& postData, base::TDateTime ifModifiedSince, bool useRange,
               int32_t rangeStart, int32_t rangeLength, bool headOnly);
  bool Request(const std::string& url, const std::vector<TMultiPartFormData>& items, base::TDateTime ifModifiedSince,
               bool useRange, int32_t rangeStart, int32_t rangeLength, bool headOnly);

  // Seconds the open connection may still be reused (0 when not connected).
  int32_t KeepAliveRemaining();
  // The last answer's Last-Modified in local time, 0 when absent or unreadable.
  base::TDateTime LastModified() const;
  THttpState State() const { return FState.load(); }

  // Response head access.
  std::string GetHeaderValue(const std::string& name, char separator) const;
  int32_t ResponseContentLength() const;
  bool IsChunked() const;
  bool KeepConnection() const;
  int ContentEncodingKind() const;  // 0 none, 1 deflate, 2 gzip
  int32_t KeepAliveTimeout() const;
  // Reads the answer's head; false on a closed connection, a time-out or an over-long head.
  bool ReadHeaders();
  // Reads and decodes the body into stream; the count of body bytes read from the network.
  int32_t ReadBody(base::TStream& stream);

  TQZTCPClient& TcpClient() { return *FTcpClient; }

  std::string Referer;
  std::string Accept = "*/*";
  std::string UserAgent = "Mozilla/4.0 (compatible; MSIE 6.00)";
  int32_t Timeout = 60000;
  int32_t Position = 0;
  int32_t ContentLength = 0;
  THttpProgressEvent OnProgress;
  std::atomic<bool> Aborted{false};
  int32_t StatusCode = 0;
  base::TStringList ResponseHeaders;
  int32_t BufferSize = 8192;
  int32_t MinorVersion = 1;
  bool AutoReferer = false;
  bool KeepAlive = true;
  bool Reused = false;
  bool AcceptEncoding = true;

 private:
  bool ConnectTo(const std::string& host, const std::string& port);
  void ResetResponse();
  bool SendRequest(const std::string& authority, const std::string& path, const std::vector<TMultiPartFormData>& items,
                   base::TDateTime ifModifiedSince, bool useRange, int32_t rangeStart, int32_t rangeLength,
                   bool headOnly, int redirects);
  bool RequestImpl(const std::string& url, const std::vector<TMultiPartFormData>& items,
                   base::TDateTime ifModifiedSince, bool useRange, int32_t rangeStart, int32_t rangeLength,
                   bool headOnly, int redirects);
  std::string ComposeHead(const std::string& method, const std::string& authority, const std::string& path,
                          const std::vector<TMultiPartFormData>& items, base::TDateTime ifModifiedSince, bool useRange,
                          int32_t rangeStart, int32_t rangeLength) const;
  bool SendBody(const std::vector<TMultiPartFormData>& items);
  bool SendPartStream(base::TStream& stream);
  bool TakeCookies(const std::string& host);
  bool WaitForData();
  void Progress();
  int32_t ReadPlain(base::TStream& target);
  int32_t ReadChunked(base::TStream& target);
  bool ReadChunkSize(int32_t& size);
  bool ReadChunkData(base::TStream& target, int32_t size);
  void SkipTrailers();

  // The open socket as another thread may see it (AbortFromOtherThread). The owning
  // thread publishes it after connecting and withdraws it before anything may close it,
  // both under FSocketLock, so a shutdown never reaches a closed (or reused) handle.
  void PublishSocket();
  void WithdrawSocket();
  bool ConnectSocket();
  void CloseSocket();

  // The transfer buffer of one body: BufferSize bytes, on the stack at the default
  // size, allocated only for a larger one.
  class TTransferBuffer {
   public:
    explicit TTransferBuffer(int32_t size);
    char* Data() { return FData; }
    int32_t Size() const { return FSize; }

   private:
    char FStack[8192];
    std::vector<char> FHeap;
    char* FData;
    int32_t FSize;
  };

  std::unique_ptr<TQZTCPClient> FTcpClient;
  std::atomic<THttpState> FState{hsDone};
  std::mutex FSocketLock;
  intptr_t FLiveSocket = -1;                 // under FSocketLock
  std::atomic<bool> FAbortRequested{false};  // set only by AbortFromOtherThread
};

// Inflates a zlib stream from source's position into target (32 KiB pieces). Stops on
// an inflate error, when no progress is made, or once maxOutput bytes were written (a
// hostile body must not inflate without bound), writing "ZLibDecompress Error" to the
// debug output. Raises EZCompressionError when zlib cannot start.
constexpr int64_t kMaxDecodedBodySize = int64_t{256} << 20;
void ZLibDecompress(base::TStream& source, base::TStream& target, int64_t maxOutput = kMaxDecodedBodySize);
// Decodes a whole gzip body (header fields skipped, trailer ignored) into target.
void DecodeGzip(base::TMemoryStream& encoded, base::TStream& target);
// Finds a chunk-size line in peeked bytes: leading CR and LF characters are skipped, the
// line ends at CR LF, its text is cut at ';' (extension) or else at the first space and
// read as hexadecimal; an empty or invalid text makes the following line the candidate.
// False when no complete line with a size is there (or a line runs past 12 characters);
// lineEnd is then the count of bytes to consume, up to and including the CR LF.
bool ParseChunkSize(const char* bytes, int count, int32_t& size, int& lineEnd);

}  // namespace net
