// The response side of THTTPClient: the head, header values, plain and chunked bodies,
// gzip and deflate decoding, progress and the keep-alive decision.
#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <vector>

#include "base/Crc32.h"
#include "base/Exceptions.h"
#include "base/Format.h"
#include "base/Strings.h"
#include "base/ZLibStream.h"
#include "net/HTTPApp.h"
#include "net/HttpClient.h"
#include "net/QZTCPClient.h"
#include "platform/Clock.h"
#include "platform/Process.h"
#include "platform/Thread.h"

namespace net {

using base::TStream;

std::string THTTPClient::GetHeaderValue(const std::string& name, char separator) const {
  std::string upperName = base::UpperCase(name);
  for (int i = 0; i < ResponseHeaders.Count(); ++i) {
    const std::string& line = ResponseHeaders[i];
    // A prefix test: "Connection" also matches a longer header name that starts with it.
    if (base::UpperCase(line).compare(0, upperName.size(), upperName) != 0) continue;
    size_t sep = line.find(separator, upperName.size());
    if (sep == std::string::npos) return {};
    return base::Trim(line.substr(sep + 1));
  }
  return {};
}

namespace {

// The Content-Length headers of an answer (the name matched whole, without case): 0 when
// there is none, 1 with its value, -1 when one is unusable or two disagree.
int ContentLengthHeader(const base::TStringList& headers, int64_t& value) {
  int found = 0;
  value = -1;
  for (int i = 1; i < headers.Count(); ++i) {
    const std::string& line = headers[i];
    size_t colon = line.find(':');
    if (colon == std::string::npos || !base::SameText(base::Trim(line.substr(0, colon)), "Content-Length")) continue;
    int64_t v = 0;
    if (!ParseContentLength(std::string_view(line).substr(colon + 1), v) || (found && v != value)) {
      value = -1;
      return -1;
    }
    value = v;
    found = 1;
  }
  return found;
}

// A tab may stand at a line's ends as a blank around the value; other control characters
// may not.
bool IsControlButTab(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return (u < 0x20 && c != '\t') || u == 0x7F;
}

}  // namespace

bool ParseContentLength(std::string_view text, int64_t& length) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (text.empty()) return false;
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    if (value > (INT64_MAX - (c - '0')) / 10) return false;
    value = value * 10 + (c - '0');
  }
  length = value;
  return true;
}

int64_t THTTPClient::ResponseContentLength() const {
  int64_t value;
  return ContentLengthHeader(ResponseHeaders, value) == 1 ? value : -1;
}

bool THTTPClient::ContentLengthValid() const {
  int64_t value;
  return ContentLengthHeader(ResponseHeaders, value) >= 0;
}

bool THTTPClient::IsChunked() const { return base::SameText(GetHeaderValue("Transfer-Encoding", ':'), "chunked"); }

bool THTTPClient::KeepConnection() const { return base::SameText(GetHeaderValue("Connection", ':'), "Keep-Alive"); }

int THTTPClient::ContentEncodingKind() const {
  std::string v = GetHeaderValue("Content-Encoding", ':');
  if (base::SameText(v, "deflate")) return 1;
  if (base::SameText(v, "gzip")) return 2;
  return 0;
}

int32_t THTTPClient::KeepAliveTimeout() const {
  std::string v = GetHeaderValue("Keep-Alive", ':');
  for (char& c : v)
    if (c == ',') c = ' ';
  for (const std::string& item : base::SplitString(v, ' ')) {
    size_t eq = item.find('=');
    if (eq != std::string::npos && base::SameText(base::Trim(item.substr(0, eq)), "timeout"))
      return base::StrToIntDef(base::Trim(item.substr(eq + 1)), 0);
  }
  return 0;
}

base::TDateTime THTTPClient::LastModified() const {
  std::string v = GetHeaderValue("Last-Modified", ':');
  return v.empty() ? 0 : ParseHTTPDate(v);
}

bool THTTPClient::WaitForData() {
  if (FTcpClient->WaitForData(Timeout)) return true;
  if (FTcpClient->Connected()) FState = hsTimeout;
  return false;
}

void THTTPClient::Progress() {
  if (!OnProgress) return;
  // A body whose length was not announced (chunked, or ending at the close) is reported
  // with total 0: its size is known only at its end.
  if (FBodyTotalUnknown)
    OnProgress(this, Position, 0);
  else if (ContentLength >= Position && ContentLength > 0)
    OnProgress(this, Position, ContentLength);
}

bool THTTPClient::ReadHeaders() {
  ContentLength = 0;
  StatusCode = 0;
  ResponseHeaders.Clear();
  FLocationUnsafe = false;
  if (!WaitForData()) return false;
  for (;;) {
    std::string line;
    if (!FTcpClient->ReadLn(line, Timeout, "\r\n")) return false;
    if (line.empty()) return true;
    // A hostile server could send an endless head: refuse it and drop the connection.
    if (ResponseHeaders.Count() >= kMaxHeaderLines) {
      CloseSocket();
      return false;
    }
    // Trimming drops control characters at the ends of a line, and a zero byte cut it
    // short: a Location must not reach the next request altered that way.
    if (base::StartsText("Location", base::Trim(line)) &&
        (FTcpClient->LineHadZero() || std::any_of(line.begin(), line.end(), IsControlButTab)))
      FLocationUnsafe = true;
    ResponseHeaders.Add(base::Trim(line));
  }
}

int64_t THTTPClient::ReadBody(TStream& stream) {
  Position = 0;
  FBodyComplete = false;
  if (StatusCode == 304) {
    if (OnProgress) OnProgress(this, 100, 100);
    FBodyComplete = true;
    return 0;
  }
  int kind = ContentEncodingKind();
  // A compressed body is inflated while it arrives, not gathered in memory first.
  std::unique_ptr<TInflateStream> inflater;
  if (kind != 0) inflater = std::make_unique<TInflateStream>(kind, stream, MaxDecodedSize);
  TStream& target = inflater ? static_cast<TStream&>(*inflater) : stream;
  FSpanStart = platform::TickCount();
  FSpanBytes = 0;
  int64_t read = 0;
  bool chunked = IsChunked();
  FBodyTotalUnknown = chunked || ResponseContentLength() < 0;
  bool complete = chunked ? ReadChunked(target, read) : ReadPlain(target, read);
  FBodyTotalUnknown = false;  // an upload's progress has its total
  if (inflater && !inflater->Finish()) complete = false;
  FBodyComplete = complete;
  if (!complete) {
    // Whatever is left of the body must not be read as the next answer.
    THttpState state = FState == hsTimeout ? hsTimeout : hsClosed;
    Abort();
    FState = state;
  } else if (!KeepConnection()) {
    Abort();
  }
  return read;
}

char* THTTPClient::ReadBuffer() {
  size_t size = static_cast<size_t>(BufferSize > 0 ? BufferSize : 8192);
  if (FReadBuffer.size() != size) {
    FReadBuffer.assign(size, '\0');
    FReadBuffer.shrink_to_fit();
  }
  return FReadBuffer.data();
}

int THTTPClient::ReadBodyPiece(char* buffer, int count) {
  uint32_t now = platform::TickCount();
  if (now - FSpanStart >= static_cast<uint32_t>(std::max<int32_t>(Timeout, 0))) {
    if (FSpanBytes < kMinBytesPerTimeout) {
      FState = hsTimeout;
      return -1;
    }
    FSpanStart = now;
    FSpanBytes = 0;
  }
  int n = FTcpClient->ReadAvailable(buffer, count, Timeout);
  if (n == TQZTCPClient::kReadTimedOut) {
    if (FTcpClient->Connected()) FState = hsTimeout;
    return -1;
  }
  if (n > 0) FSpanBytes += n;
  return n;
}

bool THTTPClient::ReadPlain(TStream& target, int64_t& sum) {
  sum = 0;
  // -1: the body ends when the server closes the connection.
  int64_t length = ResponseContentLength();
  // An announced empty body ends here: waiting for the peer instead would stall a kept
  // connection for the whole time-out and swallow the next answer.
  if (length == 0) return true;
  char* buffer = ReadBuffer();
  for (;;) {
    int want = static_cast<int>(FReadBuffer.size());
    // With a known length, never read into the next answer on a kept connection.
    if (length > 0) want = static_cast<int>(std::min<int64_t>(want, length - sum));
    int n = ReadBodyPiece(buffer, want);
    if (n == 0) return length < 0;  // closed: the end only of a body without a length
    if (n < 0) return false;
    target.WriteBuffer(buffer, n);
    Position += n;
    Progress();
    sum += n;
    if (length > 0 && sum >= length) return true;
  }
}

bool THTTPClient::ReadChunked(TStream& target, int64_t& sum) {
  sum = 0;
  for (;;) {
    int64_t size = 0;
    if (!ReadChunkSize(size)) return false;
    // Only the zero-size chunk ends the body: a connection that ends between chunks has
    // cut it short.
    if (size == 0) {
      SkipTrailers();
      return true;
    }
    ContentLength += size;
    if (!ReadChunkData(target, size)) return false;
    sum += size;
  }
}

bool ParseChunkSize(std::string_view line, int64_t& size) {
  size_t cut = line.find_first_of("; \t");
  if (cut != std::string_view::npos) line = line.substr(0, cut);
  while (line.size() > 1 && line.front() == '0') line.remove_prefix(1);
  if (line.empty() || line.size() > 15) return false;
  int64_t value = 0;
  for (char c : line) {
    int d = c >= '0' && c <= '9'   ? c - '0'
            : c >= 'a' && c <= 'f' ? c - 'a' + 10
            : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                   : -1;
    if (d < 0) return false;
    value = value * 16 + d;
  }
  size = value;
  return true;
}

bool THTTPClient::ReadChunkSize(int64_t& size) {
  // A line is taken whole even when it arrives in pieces (a TLS record may end inside
  // it), and only its own bytes are consumed.
  std::string line;
  uint32_t start = platform::TickCount();
  if (!FTcpClient->ReadLn(line, Timeout, "\r\n", kMaxChunkLineLength)) {
    // A wait that ran out, not a close or an over-long line.
    if (FTcpClient->Connected() &&
        platform::TickCount() - start >= static_cast<uint32_t>(std::max<int32_t>(Timeout, 0)))
      FState = hsTimeout;
    return false;
  }
  FSpanBytes += static_cast<int64_t>(line.size()) + 2;
  if (!ParseChunkSize(line, size)) {
    platform::DebugOutput("Http Bad Chunk Size");
    return false;
  }
  return true;
}

bool THTTPClient::ReadChunkData(TStream& target, int64_t size) {
  char* buffer = ReadBuffer();
  int64_t got = 0;
  while (got < size) {
    int n = ReadBodyPiece(buffer, static_cast<int>(std::min<int64_t>(FReadBuffer.size(), size - got)));
    if (n <= 0) return false;
    target.WriteBuffer(buffer, n);
    Position += n;
    Progress();
    got += n;
  }
  // The CR LF that closes the chunk data, however late it comes.
  std::string line;
  return FTcpClient->ReadLn(line, Timeout, "\r\n", kMaxChunkLineLength) && line.empty();
}

void THTTPClient::SkipTrailers() {
  // Trailer fields end with an empty line; all of them are consumed so a kept
  // connection starts the next answer at its status line.
  for (int i = 0; i < kMaxTrailerLines; ++i) {
    std::string line;
    if (!FTcpClient->ReadLn(line, Timeout, "\r\n")) break;
    if (line.empty()) return;
  }
  CloseSocket();  // an endless or unfinished trailer: the connection cannot be reused
}

// --- TInflateStream ------------------------------------------------------------------

TInflateStream::TInflateStream(int kind, TStream& target, int64_t maxOutput)
    : FKind(kind), FTarget(target), FMaxOutput(maxOutput), FOut(kOutputPiece) {
  auto* z = new z_stream;
  std::memset(z, 0, sizeof *z);
  FZ = z;
}

TInflateStream::~TInflateStream() {
  auto* z = static_cast<z_stream*>(FZ);
  if (FStarted) inflateEnd(z);
  delete z;
}

int32_t TInflateStream::Read(void*, int32_t) { return 0; }

int64_t TInflateStream::Seek(int64_t, base::TSeekOrigin) { return FConsumed; }

bool TInflateStream::Start(const uint8_t* head, size_t count) {
  // gzip: zlib reads the header (with its optional fields) and checks CRC32 and length.
  // deflate: servers send either a zlib stream or bare deflate data; the zlib header's
  // check sum tells them apart.
  int bits = 15 + 16;
  if (FKind != 2) bits = count >= 2 && (head[0] & 0x0F) == 8 && (head[0] * 256 + head[1]) % 31 == 0 ? 15 : -15;
  int rc = inflateInit2(static_cast<z_stream*>(FZ), bits);
  if (rc != Z_OK) throw base::EZCompressionError(zError(rc));
  FStarted = true;
  return true;
}

void TInflateStream::KeepTail(const uint8_t* data, size_t used) {
  if (used >= sizeof FTail) {
    std::memcpy(FTail, data + used - sizeof FTail, sizeof FTail);
  } else {
    std::memmove(FTail, FTail + used, sizeof FTail - used);
    std::memcpy(FTail + sizeof FTail - used, data, used);
  }
}

bool TInflateStream::TrailerMatches() const {
  auto le32 = [](const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
  };
  return le32(FTail) == FCrc && le32(FTail + 4) == static_cast<uint32_t>(FWritten);
}

bool TInflateStream::Inflate(const uint8_t* data, size_t count) {
  auto* z = static_cast<z_stream*>(FZ);
  while (count > 0 && !FFailed) {
    if (FEnded) {
      FFailed = true;  // bytes after the end of the compressed stream
      break;
    }
    uInt piece = static_cast<uInt>(std::min<size_t>(count, 1u << 30));
    z->next_in = const_cast<Bytef*>(data);
    z->avail_in = piece;
    do {
      z->next_out = FOut.data();
      z->avail_out = static_cast<uInt>(FOut.size());
      int rc = inflate(z, Z_NO_FLUSH);
      size_t produced = FOut.size() - z->avail_out;
      FWritten += static_cast<int64_t>(produced);
      if (FWritten > FMaxOutput) {
        FFailed = true;
        break;
      }
      if (produced) {
        if (FKind == 2) {
          FCrc = base::Crc32(FCrc, FOut.data(), produced);
          // The header (and its own check) is behind once data comes out: from here on
          // the body's CRC-32 is ours, the faster one.
          if (!FOwnCheck) FOwnCheck = inflateValidate(z, 0) == Z_OK;
        }
        FTarget.WriteBuffer(FOut.data(), static_cast<int32_t>(produced));
      }
      if (rc == Z_STREAM_END) {
        FEnded = true;
        break;
      }
      // Z_BUF_ERROR with input and room left means no progress is possible.
      if (rc != Z_OK && !(rc == Z_BUF_ERROR && produced == 0 && z->avail_in == 0)) {
        FFailed = true;
        break;
      }
    } while (z->avail_in > 0 || z->avail_out == 0);
    size_t used = piece - z->avail_in;
    KeepTail(data, used);
    // zlib read the trailer without checking it when the check is ours.
    if (FEnded && FOwnCheck && !TrailerMatches()) FFailed = true;
    FConsumed += static_cast<int64_t>(used);
    data += used;
    count -= used;
    if (FEnded && count > 0) FFailed = true;
    if (used == 0 && !FEnded && !FFailed) FFailed = true;
  }
  return !FFailed;
}

int32_t TInflateStream::Write(const void* buffer, int32_t count) {
  if (count <= 0 || FFailed) return count > 0 ? count : 0;
  const auto* data = static_cast<const uint8_t*>(buffer);
  size_t n = static_cast<size_t>(count);
  if (!FStarted) {
    // A zlib header is told from raw deflate by its first two bytes, which may come apart.
    FHead.append(reinterpret_cast<const char*>(data), n);
    if (FKind != 2 && FHead.size() < 2) return count;
    Start(reinterpret_cast<const uint8_t*>(FHead.data()), FHead.size());
    std::string head;
    head.swap(FHead);
    Inflate(reinterpret_cast<const uint8_t*>(head.data()), head.size());
    return count;
  }
  Inflate(data, n);
  return count;
}

bool TInflateStream::Finish() {
  if (!FStarted && FHead.empty()) return !FFailed;  // an empty body stays empty
  if (!FStarted) {
    std::string head;
    head.swap(FHead);
    Start(reinterpret_cast<const uint8_t*>(head.data()), head.size());
    Inflate(reinterpret_cast<const uint8_t*>(head.data()), head.size());
  }
  // A stream cut short never reaches its end.
  if (!FEnded) FFailed = true;
  if (FFailed && !FReported) {
    FReported = true;
    platform::DebugOutput("ZLibDecompress Error");
  }
  return !FFailed;
}

bool ZLibDecompress(TStream& source, TStream& target, int64_t maxOutput) {
  TInflateStream inflater(1, target, maxOutput);
  std::vector<uint8_t> in(0x8000);
  for (;;) {
    int32_t n = source.Read(in.data(), static_cast<int32_t>(in.size()));
    if (n <= 0 || inflater.Failed()) break;
    inflater.WriteBuffer(in.data(), n);
  }
  return inflater.Finish();
}

bool DecodeGzip(base::TMemoryStream& encoded, TStream& target, int64_t maxOutput) {
  TInflateStream inflater(2, target, maxOutput);
  int64_t size = encoded.Size();
  const uint8_t* p = encoded.Memory();
  for (int64_t pos = 0; pos < size && !inflater.Failed();) {
    int32_t n = static_cast<int32_t>(std::min<int64_t>(size - pos, 1 << 20));
    inflater.WriteBuffer(p + pos, n);
    pos += n;
  }
  return inflater.Finish();
}

}  // namespace net
