#include "net/Base64.h"

#include <cstdint>

namespace net {

std::string Base64Encode(std::string_view text, bool strip) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((text.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= text.size(); i += 3) {
    uint32_t v = static_cast<uint32_t>(static_cast<uint8_t>(text[i])) << 16 |
                 static_cast<uint32_t>(static_cast<uint8_t>(text[i + 1])) << 8 | static_cast<uint8_t>(text[i + 2]);
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  size_t rest = text.size() - i;
  if (rest > 0) {
    uint32_t v = static_cast<uint32_t>(static_cast<uint8_t>(text[i])) << 16;
    if (rest == 2) v |= static_cast<uint32_t>(static_cast<uint8_t>(text[i + 1])) << 8;
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    if (rest == 2) out += kAlphabet[(v >> 6) & 63];
    if (!strip) out.append(3 - rest, '=');
  }
  return out;
}

}  // namespace net
