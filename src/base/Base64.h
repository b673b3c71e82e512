// Standard Base64 (RFC 4648 alphabet, '=' fill), used for Basic credentials and for the
// keys and signatures of signed update offers.
#pragma once

#include <string>
#include <string_view>

namespace base {

// A final group of one or two bytes is encoded with the missing bits as zeros and
// filled with "==" or "="; strip removes the fill characters.
std::string Base64Encode(std::string_view text, bool strip = false);

// The bytes of a canonical encoding: a length that is a multiple of four, alphabet
// characters only, at most two '=' at the end, and zero bits in the final group's unused
// part, so each byte string has exactly one text. False (out empty) for anything else,
// blanks and line breaks included.
bool Base64Decode(std::string_view text, std::string& out);

}  // namespace base
