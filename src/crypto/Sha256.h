// SHA-256 through libgcrypt: of bytes in memory, of a file, and as lower-case hex text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace base {
class TStream;
}

namespace crypto {

constexpr size_t kSha256Size = 32;

// The 32-byte digest of data.
std::string Sha256(std::string_view data);

// The digest and size of a file's bytes, read in pieces; false with error set when the
// file cannot be opened or read.
bool Sha256File(const std::string& fileName, std::string& digest, int64_t& size, std::string& error);
// The same of the bytes a stream gives from its position to its end.
bool Sha256Stream(base::TStream& stream, std::string& digest, int64_t& size, std::string& error);

// Lower-case hex of bytes, and back: FromHex takes either case and gives false for an odd
// length or any character that is not a hex digit.
std::string ToHex(std::string_view bytes);
bool FromHex(std::string_view text, std::string& bytes);

}  // namespace crypto
