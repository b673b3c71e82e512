// Arbitrary server bytes to a real client over a loopback connection: the scripted
// server answers the request with the fuzz input and closes. Every answer form runs
// through the client's own reading code (status line, head, plain and chunked bodies,
// gzip and deflate decoding, keep-alive decision, cookies). The client's time-out is
// short so that inputs which leave it waiting end quickly.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/Stream.h"
#include "net/HttpClient.h"
#include "support/net/ScriptedServer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 65536) return 0;
  // A redirect to an absolute URL could send the client to another host (and a name
  // lookup off this machine): such inputs are skipped, relative ones stay on loopback.
  static const std::string kScheme = "://";
  if (std::search(data, data + size, kScheme.begin(), kScheme.end()) != data + size) return 0;
  testsupport::TScriptedServer server;
  server.Expect("\r\n\r\n").Send(std::string(reinterpret_cast<const char*>(data), size)).Close();
  server.Start();
  net::THTTPClient client;
  client.Timeout = 50;
  base::TMemoryStream body;
  client.Get("http://127.0.0.1:" + server.PortText() + "/f", "", &body);
  return 0;
}
