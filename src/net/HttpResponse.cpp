// The response side of THTTPClient: the head, header values, plain and chunked bodies,
// gzip and deflate decoding, progress and the keep-alive decision.
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <vector>

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

int32_t THTTPClient::ResponseContentLength() const {
  return base::StrToIntDef(ExtractDigits(GetHeaderValue("Content-Length", ':'), 1), 0);
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
  if (OnProgress && ContentLength >= Position && ContentLength > 0) OnProgress(this, Position, ContentLength);
}

bool THTTPClient::ReadHeaders() {
  ContentLength = 0;
  StatusCode = 0;
  ResponseHeaders.Clear();
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
    ResponseHeaders.Add(base::Trim(line));
  }
}

int32_t THTTPClient::ReadBody(TStream& stream) {
  Position = 0;
  if (StatusCode == 304) {
    if (OnProgress) OnProgress(this, 100, 100);
    return 0;
  }
  int kind = ContentEncodingKind();
  base::TMemoryStream encoded;
  TStream& target = kind != 0 ? static_cast<TStream&>(encoded) : stream;
  int32_t read = IsChunked() ? ReadChunked(target) : ReadPlain(target);
  if (kind == 1) {
    encoded.SetPosition(0);
    uint8_t magic[2];
    if (encoded.Read(magic, 2) == 2 && (magic[0] * 256 + magic[1]) % 31 == 0) {
      encoded.SetPosition(0);
      ZLibDecompress(encoded, stream);
    }
  } else if (kind == 2) {
    DecodeGzip(encoded, stream);
  }
  if (!KeepConnection()) Abort();
  return read;
}

int32_t THTTPClient::ReadPlain(TStream& target) {
  TTransferBuffer transfer(BufferSize);
  char* buffer = transfer.Data();
  int32_t size = transfer.Size();
  int32_t sum = 0;
  // An announced empty body ends here: waiting for the peer instead would stall a kept
  // connection for the whole time-out and swallow the next answer.
  if (ContentLength == 0 && !GetHeaderValue("Content-Length", ':').empty()) return 0;
  while (WaitForData()) {
    int32_t want = size;
    // With a known length, never read into the next answer on a kept connection.
    if (ContentLength > 0) want = std::min(want, ContentLength - sum);
    int n = FTcpClient->Receive(buffer, want);
    if (n <= 0) break;
    target.WriteBuffer(buffer, n);
    Position += n;
    Progress();
    sum += n;
    if (ContentLength > 0 && sum >= ContentLength) break;
  }
  return sum;
}

int32_t THTTPClient::ReadChunked(TStream& target) {
  int32_t sum = 0;
  for (;;) {
    int32_t size = 0;
    if (!ReadChunkSize(size)) break;
    if (size > 0) ContentLength += size;
    if (!ReadChunkData(target, size)) break;
    sum += size;
    if (size == 0) break;
  }
  return sum;
}

bool ParseChunkSize(const char* p, int count, int32_t& size, int& lineEnd) {
  int i = 0;
  for (;;) {
    while (i < count && (p[i] == '\r' || p[i] == '\n')) ++i;
    int start = i;
    while (i + 1 < count && !(p[i] == '\r' && p[i + 1] == '\n')) {
      if (i - start > 12) return false;
      ++i;
    }
    if (i + 1 >= count) return false;
    std::string text(p + start, static_cast<size_t>(i - start));
    size_t cut = text.find(';');
    if (cut == std::string::npos) cut = text.find(' ');
    if (cut != std::string::npos) text.resize(cut);
    i += 2;
    uint32_t value = 0;
    bool valid = !text.empty() && text.size() <= 8;
    for (char c : text) {
      int d = c >= '0' && c <= '9'   ? c - '0'
              : c >= 'a' && c <= 'f' ? c - 'a' + 10
              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                     : -1;
      if (d < 0) {
        valid = false;
        break;
      }
      value = value * 16 + static_cast<uint32_t>(d);
    }
    if (valid && value <= 0x7FFFFFFF) {
      size = static_cast<int32_t>(value);
      lineEnd = i;
      return true;
    }
  }
}

bool THTTPClient::ReadChunkSize(int32_t& size) {
  uint32_t t0 = platform::TickCount();
  int previous = 0;
  char peek[52];
  while (WaitForData()) {
    int count = FTcpClient->Peek(peek, 51);
    if (count == previous && platform::TickCount() - t0 > static_cast<uint32_t>(Timeout)) return false;
    if (count != previous) t0 = platform::TickCount();
    if (count <= 0) return false;
    int lineEnd = 0;
    if (ParseChunkSize(peek, count, size, lineEnd)) {
      char discard[52];
      return FTcpClient->Receive(discard, lineEnd) == lineEnd;
    }
    platform::SleepMs(1);
    if (count > 50) return false;
    previous = count;
  }
  return false;
}

bool THTTPClient::ReadChunkData(TStream& target, int32_t size) {
  if (size == 0) {
    SkipTrailers();
    return true;
  }
  TTransferBuffer transfer(BufferSize);
  char* buffer = transfer.Data();
  int32_t bufSize = transfer.Size();
  int32_t got = 0;
  while (got < size && WaitForData()) {
    int n = FTcpClient->Receive(buffer, std::min(bufSize, size - got));
    if (n <= 0) break;
    target.WriteBuffer(buffer, n);
    Position += n;
    Progress();
    got += n;
  }
  if (got == size) {
    // The CR LF after the data; when it is late, the next size parse skips it.
    std::string line;
    FTcpClient->ReadLn(line, 0, "\r\n");
  }
  return got == size;
}

void THTTPClient::SkipTrailers() {
  // Trailer fields end with an empty line; all of them are consumed so a kept
  // connection starts the next answer at its status line.
  for (int i = 0; i < kMaxTrailerLines; ++i) {
    std::string line;
    if (!FTcpClient->ReadLn(line, Timeout, "\r\n") || line.empty()) return;
  }
  CloseSocket();  // an endless trailer: the connection cannot be reused
}

void ZLibDecompress(TStream& source, TStream& target, int64_t maxOutput) {
  z_stream z;
  std::memset(&z, 0, sizeof z);
  int rc = inflateInit(&z);
  if (rc != Z_OK) throw base::EZCompressionError(zError(rc));
  std::vector<uint8_t> in(0x8000), out(0x8000);
  bool failed = false, ended = false;
  int64_t written = 0;
  // One inflate call; false when the stream ended, failed or made no progress.
  auto step = [&](int flush) {
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    uInt before = z.avail_in;
    rc = inflate(&z, flush);
    size_t produced = out.size() - z.avail_out;
    if (produced) target.WriteBuffer(out.data(), static_cast<int32_t>(produced));
    written += static_cast<int64_t>(produced);
    if (rc == Z_STREAM_END)
      ended = true;
    else if (written > maxOutput)
      failed = true;
    else if ((rc < 0 && rc != Z_BUF_ERROR) || (produced == 0 && z.avail_in == before))
      failed = true;
    return !ended && !failed;
  };
  for (;;) {
    int32_t n = source.Read(in.data(), static_cast<int32_t>(in.size()));
    if (n <= 0) break;
    z.next_in = in.data();
    z.avail_in = static_cast<uInt>(n);
    while ((z.avail_in > 0 || z.avail_out == 0) && step(Z_NO_FLUSH)) {
    }
    if (failed || ended) break;
  }
  // Input used up before the end of the stream: flush what zlib still holds.
  while (!failed && !ended && step(Z_FINISH)) {
  }
  // A truncated stream ends in "no progress" after all its data was written.
  if (failed) platform::DebugOutput("ZLibDecompress Error");
  if (inflateEnd(&z) < 0) platform::DebugOutput("ZLibDecompress Error");
}

void DecodeGzip(base::TMemoryStream& encoded, TStream& target) {
  // RFC 1952 header: ID1 ID2 CM FLG MTIME(4) XFL OS, then optional fields by FLG.
  const uint8_t* p = encoded.Memory();
  int64_t size = encoded.Size();
  int64_t pos = 10;
  if (size < 18) return;
  uint8_t flags = p[3];
  if (flags & 4) {
    if (pos + 2 > size) return;
    pos += 2 + (p[pos] | (p[pos + 1] << 8));
  }
  for (uint8_t bit : {uint8_t(8), uint8_t(16)}) {
    if (!(flags & bit)) continue;
    while (pos < size && p[pos] != 0) ++pos;
    ++pos;
  }
  if (flags & 2) pos += 2;
  // The deflate data sits between the header and the 8-byte CRC32/ISIZE trailer; a
  // zlib header (78 9C) in front of it lets the zlib decoder take it.
  if (pos < 2 || pos > size - 8) return;
  encoded.Memory()[pos - 2] = 0x78;
  encoded.Memory()[pos - 1] = 0x9C;
  encoded.SetSize(size - 8);
  encoded.SetPosition(pos - 2);
  ZLibDecompress(encoded, target);
}

}  // namespace net
