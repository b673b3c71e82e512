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
//   kMinBytesPerTimeout   bytes a body must bring within each Timeout span (a trickle
//                         of a byte a second would otherwise hold a request for ever)
//   MaxDecodedSize        bytes a gzip or deflate body may inflate to
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
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

// (Sender, Position, Total) in bytes; Total is 0 while a body arrives whose length was not
// announced (chunked, or ending when the server closes). Called on the requesting thread.
using THttpProgressEvent = base::TClosure<base::TObject*, int64_t, int64_t>;

class THTTPClient : public base::TObject {
 public:
  static constexpr int kMaxHeaderLines = 256;
  static constexpr int kMaxRedirects = 10;
  static constexpr int kMaxNotModifiedRepeats = 2;
  static constexpr int kMaxTrailerLines = 64;
  static constexpr int64_t kMinBytesPerTimeout = 1024;
  static constexpr size_t kMaxChunkLineLength = 1024;

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
           base::TDateTime ifModifiedSince = 0, bool useRange = false, int64_t rangeStart = 0, int64_t rangeLength = 0);
  bool OpenURL(const std::string& url, const std::string& postData, base::TDateTime ifModifiedSince, bool useRange,
               int64_t rangeStart, int64_t rangeLength, bool headOnly);
  bool Request(const std::string& url, const std::vector<TMultiPartFormData>& items, base::TDateTime ifModifiedSince,
               bool useRange, int64_t rangeStart, int64_t rangeLength, bool headOnly);

  // Seconds the open connection may still be reused (0 when not connected).
  int32_t KeepAliveRemaining();
  // The last answer's Last-Modified in local time, 0 when absent or unreadable.
  base::TDateTime LastModified() const;
  THttpState State() const { return FState.load(); }

  // Response head access.
  std::string GetHeaderValue(const std::string& name, char separator) const;
  // The Content-Length value; -1 when the answer has none or its value is unusable (not
  // a decimal number, beyond 63 bits, or two headers that disagree).
  int64_t ResponseContentLength() const;
  // False when a Content-Length header is present but unusable: such an answer's body
  // cannot be told from what follows it.
  bool ContentLengthValid() const;
  bool IsChunked() const;
  bool KeepConnection() const;
  int ContentEncodingKind() const;  // 0 none, 1 deflate, 2 gzip
  int32_t KeepAliveTimeout() const;
  // Reads the answer's head; false on a closed connection, a time-out or an over-long head.
  bool ReadHeaders();
  // Reads and decodes the body into stream; the count of body bytes read from the network.
  // BodyComplete tells afterwards whether the whole body arrived and decoded: every
  // announced byte, the last (zero-size) chunk, an intact compressed stream.
  int64_t ReadBody(base::TStream& stream);
  bool BodyComplete() const { return FBodyComplete; }

  TQZTCPClient& TcpClient() { return *FTcpClient; }

  std::string Referer;
  std::string Accept = "*/*";
  std::string UserAgent = "Mozilla/4.0 (compatible; MSIE 6.00)";
  int32_t Timeout = 60000;
  int64_t Position = 0;
  int64_t ContentLength = 0;
  THttpProgressEvent OnProgress;
  std::atomic<bool> Aborted{false};
  int32_t StatusCode = 0;
  base::TStringList ResponseHeaders;
  // Bytes one body read may take from the socket (a larger piece means fewer calls).
  int32_t BufferSize = 262144;
  int64_t MaxDecodedSize = int64_t{256} << 20;
  int32_t MinorVersion = 1;
  bool AutoReferer = false;
  bool KeepAlive = true;
  bool Reused = false;
  bool AcceptEncoding = true;
  // Sent as If-Range beside a Range line when not empty: the validator (an ETag or a
  // Last-Modified text) of the partial file the range continues.
  std::string IfRange;

 private:
  bool ConnectTo(const std::string& host, const std::string& port);
  void ResetResponse();
  bool SendRequest(const std::string& authority, const std::string& path, const std::vector<TMultiPartFormData>& items,
                   base::TDateTime ifModifiedSince, bool useRange, int64_t rangeStart, int64_t rangeLength,
                   bool headOnly, int redirects);
  // Rewinds the request body streams to where they stood before the first attempt.
  static void RewindBody(const std::vector<TMultiPartFormData>& items, const std::vector<int64_t>& starts);
  bool RequestImpl(const std::string& url, const std::vector<TMultiPartFormData>& items,
                   base::TDateTime ifModifiedSince, bool useRange, int64_t rangeStart, int64_t rangeLength,
                   bool headOnly, int redirects);
  std::string ComposeHead(const std::string& method, const std::string& authority, const std::string& path,
                          const std::vector<TMultiPartFormData>& items, base::TDateTime ifModifiedSince, bool useRange,
                          int64_t rangeStart, int64_t rangeLength) const;
  bool SendBody(const std::vector<TMultiPartFormData>& items);
  bool SendPartStream(base::TStream& stream);
  bool TakeCookies(const std::string& host);
  bool WaitForData();
  void Progress();
  // One read of at most count body bytes after one readiness wait: > 0 bytes read,
  // 0 when the peer closed, < 0 on a failure or a time-out (State tells which).
  int ReadBodyPiece(char* buffer, int count);
  // The body read buffer, BufferSize bytes, kept from one body to the next.
  char* ReadBuffer();
  bool ReadPlain(base::TStream& target, int64_t& sum);
  bool ReadChunked(base::TStream& target, int64_t& sum);
  bool ReadChunkSize(int64_t& size);
  bool ReadChunkData(base::TStream& target, int64_t size);
  void SkipTrailers();

  // The open socket as another thread may see it (AbortFromOtherThread). The owning
  // thread publishes it after connecting and withdraws it before anything may close it,
  // both under FSocketLock, so a shutdown never reaches a closed (or reused) handle.
  void PublishSocket();
  void WithdrawSocket();
  bool ConnectSocket();
  void CloseSocket();

  // The transfer buffer of one request body: BufferSize bytes, on the stack up to 8 KiB,
  // allocated for a larger one.
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
  bool FBodyComplete = false;
  // The answer's head had a Location line holding a control character that the head's
  // trimming or a zero byte would hide from the Location value: its redirect is refused.
  bool FLocationUnsafe = false;
  bool FBodyTotalUnknown = false;  // the body being read has no announced length
  std::vector<char> FReadBuffer;
  // The span in which the body must bring kMinBytesPerTimeout bytes.
  uint32_t FSpanStart = 0;
  int64_t FSpanBytes = 0;
  std::atomic<THttpState> FState{hsDone};
  std::mutex FSocketLock;
  intptr_t FLiveSocket = -1;                 // under FSocketLock
  std::atomic<bool> FAbortRequested{false};  // set only by AbortFromOtherThread
};

// A stream that inflates what is written to it into target as it arrives, so a
// compressed body is decoded while it downloads. Kind 1 is deflate (a zlib stream, or
// raw deflate data when the first two bytes are no zlib header), kind 2 gzip (its CRC32
// and length trailer checked). Writing past the end of the compressed stream, corrupt
// data, or more than maxOutput inflated bytes (a hostile body must not inflate without
// bound) make it fail: Failed() is then true and further bytes are ignored. Finish
// tells whether the whole stream arrived intact. Raises EZCompressionError when zlib
// cannot start.
class TInflateStream : public base::TStream {
 public:
  TInflateStream(int kind, base::TStream& target, int64_t maxOutput);
  ~TInflateStream() override;
  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  int64_t Seek(int64_t offset, base::TSeekOrigin origin) override;
  // True when the compressed stream ended cleanly; writes "ZLibDecompress Error" to the
  // debug output otherwise.
  bool Finish();
  bool Failed() const { return FFailed; }

 private:
  bool Start(const uint8_t* head, size_t count);
  bool Inflate(const uint8_t* data, size_t count);
  // The last 8 input bytes inflate consumed: at the end of a gzip stream, its trailer.
  void KeepTail(const uint8_t* data, size_t used);
  // The trailer's CRC-32 and length (mod 2^32) are those of the inflated data.
  bool TrailerMatches() const;
  int FKind;
  base::TStream& FTarget;
  int64_t FMaxOutput;
  int64_t FWritten = 0;
  int64_t FConsumed = 0;
  bool FStarted = false, FEnded = false, FFailed = false, FReported = false;
  // gzip: the data's CRC-32 is computed here (zlib's own check switched off after the
  // header), and the trailer compared with it at the end.
  bool FOwnCheck = false;
  // Inflated data goes to the target in pieces of this size: larger pieces mean fewer
  // inflate calls and writes (measured: an eighth less processor time than 64 KiB).
  static constexpr size_t kOutputPiece = 262144;
  uint32_t FCrc = 0;
  uint8_t FTail[8] = {};
  std::string FHead;  // the first bytes, until the kind of stream is known
  std::vector<uint8_t> FOut;
  void* FZ = nullptr;  // z_stream, kept out of this header
};

// Inflates a zlib stream from source's position into target; false (and "ZLibDecompress
// Error" on the debug output) when it is corrupt, cut short, or inflates past maxOutput.
constexpr int64_t kMaxDecodedBodySize = int64_t{256} << 20;
bool ZLibDecompress(base::TStream& source, base::TStream& target, int64_t maxOutput = kMaxDecodedBodySize);
// Decodes a whole gzip body into target; false when it is corrupt, cut short, fails its
// CRC32 or length check, or inflates past maxOutput.
bool DecodeGzip(base::TMemoryStream& encoded, base::TStream& target, int64_t maxOutput = kMaxDecodedBodySize);
// Reads one chunk-size line (without its CR LF): hexadecimal digits of either case, cut
// at ';' (an extension) or else at the first space or tab. False for an empty or invalid
// text or a size beyond 60 bits.
bool ParseChunkSize(std::string_view line, int64_t& size);
// Reads a Content-Length value: decimal digits only, surrounding spaces allowed, at most
// 63 bits. False otherwise.
bool ParseContentLength(std::string_view text, int64_t& length);

}  // namespace net
