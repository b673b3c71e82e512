#include "TextTestSupport.h"

#include <cstdio>
#include <cstdlib>

namespace texttest {

std::string Bytes(const char* hex) {
  std::string out;
  for (const char* p = hex; *p;) {
    if (*p == ' ') {
      ++p;
      continue;
    }
    char pair[3] = {p[0], p[1], 0};
    out += static_cast<char>(std::strtoul(pair, nullptr, 16));
    p += 2;
  }
  return out;
}

std::string Hex(const std::string& bytes) {
  std::string out;
  char buf[4];
  for (unsigned char c : bytes) {
    std::snprintf(buf, sizeof buf, out.empty() ? "%02X" : " %02X", c);
    out += buf;
  }
  return out;
}

std::u16string ReadAll(text::TRkTextStream& s, int32_t units) {
  std::u16string out;
  std::u16string chunk(static_cast<size_t>(units), u'\0');
  for (;;) {
    int32_t n = s.Read(chunk.data(), units * 2);
    if (n <= 0) break;
    out.append(chunk.data(), static_cast<size_t>(n) / 2);
  }
  return out;
}

}  // namespace texttest
