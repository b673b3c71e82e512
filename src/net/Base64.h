// Standard Base64 (RFC 4648 alphabet, '=' fill), used for Basic credentials.
#pragma once

#include <string>
#include <string_view>

namespace net {

// A final group of one or two bytes is encoded with the missing bits as zeros and
// filled with "==" or "="; strip removes the fill characters.
std::string Base64Encode(std::string_view text, bool strip = false);

}  // namespace net
