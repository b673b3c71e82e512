// The parts of answer reading that see raw server bytes without a socket: header value
// lookups over arbitrary head lines, the chunk-size and Content-Length parsers, and gzip
// and deflate decoding of arbitrary bodies, whole and in pieces. No overrun, no endless
// loop, bounded output.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "base/Stream.h"
#include "base/Strings.h"
#include "net/HttpClient.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);

  net::THTTPClient client;
  client.ResponseHeaders.SetText(bytes);
  client.GetHeaderValue("HTTP/", ' ');
  client.ResponseContentLength();
  client.IsChunked();
  client.KeepConnection();
  client.ContentEncodingKind();
  client.KeepAliveTimeout();
  client.LastModified();

  client.ContentLengthValid();

  // Each line of the input as a chunk-size line and as a Content-Length value.
  for (size_t start = 0; start <= size;) {
    size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = size;
    std::string_view line(bytes.data() + start, end - start);
    int64_t value = -1;
    if (net::ParseChunkSize(line, value) && (value < 0 || value >= (int64_t{1} << 60))) std::abort();
    if (net::ParseContentLength(line, value) && value < 0) std::abort();
    start = end + 1;
  }

  base::TMemoryStream gz;
  gz.WriteBuffer(bytes.data(), static_cast<int32_t>(size));
  base::TMemoryStream out;
  bool wholeOk[3] = {false, false, false};
  wholeOk[2] = net::DecodeGzip(gz, out, 1 << 20);
  if (out.Size() > (1 << 20)) std::abort();
  base::TStringStream deflated(bytes);
  base::TMemoryStream out2;
  wholeOk[1] = net::ZLibDecompress(deflated, out2, 1 << 20);
  if (out2.Size() > (1 << 20)) std::abort();
  // The same bytes arriving in small pieces, as a body does from the network: the
  // verdict (the gzip trailer check included) and the data must not depend on the cut.
  for (int kind : {1, 2}) {
    base::TMemoryStream out3;
    net::TInflateStream inflater(kind, out3, 1 << 20);
    for (size_t i = 0; i < size; i += 7)
      inflater.WriteBuffer(bytes.data() + i, static_cast<int32_t>(std::min<size_t>(7, size - i)));
    bool ok = inflater.Finish();
    if (out3.Size() > (1 << 20) || (ok && inflater.Failed())) std::abort();
    base::TMemoryStream& whole = kind == 2 ? out : out2;
    if (ok != wholeOk[kind]) std::abort();
    if (ok && (whole.Size() != out3.Size() ||
               (out3.Size() > 0 && std::memcmp(whole.Memory(), out3.Memory(), static_cast<size_t>(out3.Size())) != 0)))
      std::abort();
  }
  return 0;
}
