#include "base/Base64.h"

#include <cstdint>
#include <utility>

namespace base {

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

bool Base64Decode(std::string_view text, std::string& out) {
  out.clear();
  if (text.size() % 4 != 0) return false;
  size_t fill = 0;
  while (fill < 2 && fill < text.size() && text[text.size() - 1 - fill] == '=') ++fill;
  auto value = [](char c) -> int {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
  };
  std::string bytes;
  bytes.reserve(text.size() / 4 * 3);
  for (size_t i = 0; i < text.size(); i += 4) {
    bool last = i + 4 == text.size();
    size_t digits = last ? 4 - fill : 4;
    uint32_t v = 0;
    for (size_t k = 0; k < 4; ++k) {
      int d = k < digits ? value(text[i + k]) : 0;
      if (d < 0) return false;
      v = v << 6 | static_cast<uint32_t>(d);
    }
    // Bits beyond the last whole byte must be zero: no second text for the same bytes.
    if (digits == 2 && (v & 0xFFFF) != 0) return false;
    if (digits == 3 && (v & 0xFF) != 0) return false;
    bytes += static_cast<char>(v >> 16);
    if (digits >= 3) bytes += static_cast<char>((v >> 8) & 0xFF);
    if (digits == 4) bytes += static_cast<char>(v & 0xFF);
  }
  out = std::move(bytes);
  return true;
}

}  // namespace base
