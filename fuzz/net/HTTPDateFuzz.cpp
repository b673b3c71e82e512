// Parses arbitrary bytes as an HTTP date (Last-Modified, cookie expiry): no overrun, no
// exception, a result that is 0 or a real date, and a parsed date that formats and
// parses back to the same second.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/DateTime.h"
#include "net/HTTPApp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  base::TDateTime local = net::ParseHTTPDate(text);
  if (local == 0) return 0;
  if (!std::isfinite(local)) std::abort();
  base::TDateTime utc = local - net::LocalOffset();
  int y, m, d;
  base::DecodeDate(utc, y, m, d);
  if (y < 1 || y > 9999) std::abort();
  // Four-digit years below 100 read back as two-digit years, and 1900 is the parser's
  // "no year here" mark (the asctime form): both by design.
  if (y < 100 || y == 1900) return 0;
  base::TDateTime again = net::ParseHTTPDate(net::HTTPDateToStr(utc));
  if (std::fabs(again - local) > 1.5 / 86400) std::abort();
  return 0;
}
