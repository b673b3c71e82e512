// The parts of answer reading that see raw server bytes without a socket: header value
// lookups over arbitrary head lines, the chunk-size line parser, and gzip and deflate
// decoding of arbitrary bodies. No overrun, no endless loop, bounded output.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

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

  int32_t chunk = 0;
  int lineEnd = 0;
  int count = static_cast<int>(size < 51 ? size : 51);
  if (net::ParseChunkSize(bytes.data(), count, chunk, lineEnd) && (lineEnd > count || lineEnd < 2 || chunk < 0))
    std::abort();

  base::TMemoryStream gz;
  gz.WriteBuffer(bytes.data(), static_cast<int32_t>(size));
  base::TMemoryStream out;
  net::DecodeGzip(gz, out);
  base::TStringStream deflated(bytes);
  base::TMemoryStream out2;
  net::ZLibDecompress(deflated, out2, 1 << 20);
  if (out2.Size() > (1 << 20) + 0x8000) std::abort();
  return 0;
}
