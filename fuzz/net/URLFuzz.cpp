// Splits and encodes arbitrary bytes as the HTTP client does with URLs from servers
// (redirect targets): no overrun, and the parts of a split URL are pieces of it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/HTTPApp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string url(reinterpret_cast<const char*>(data), size);
  std::string authority, path, port, host, last;
  if (net::SplitURL(url, authority, path, port, host, last)) {
    if (path.empty() || path[0] != '/') std::abort();
    if (url.find(authority) == std::string::npos || url.find(host) == std::string::npos) std::abort();
    if (path != "/" && url.find(path) == std::string::npos) std::abort();
  }
  std::string encoded = net::URLEncode(url);
  if (encoded.find(' ') != std::string::npos) std::abort();
  if (net::EncodeSpaces(url).find(' ') != std::string::npos) std::abort();
  net::HTMLEscape(url);
  net::URLDirectory(url);
  for (int start : {0, 1, 5, static_cast<int>(size), static_cast<int>(size) + 3}) {
    std::string digits = net::ExtractDigits(url, start);
    for (char c : digits) {
      if (c < '0' || c > '9') std::abort();
    }
  }
  return 0;
}
