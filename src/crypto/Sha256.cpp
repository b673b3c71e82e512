#include "crypto/Sha256.h"

#include <gcrypt.h>

#include <exception>
#include <vector>

#include "base/Exceptions.h"
#include "base/Stream.h"
#include "crypto/Gcrypt.h"
#include "platform/Files.h"

namespace crypto {

std::string Sha256(std::string_view data) {
  std::string digest(kSha256Size, '\0');
  GcryptReady();
  gcry_md_hash_buffer(GCRY_MD_SHA256, digest.data(), data.data(), data.size());
  return digest;
}

bool Sha256Stream(base::TStream& stream, std::string& digest, int64_t& size, std::string& error) {
  digest.clear();
  size = 0;
  if (!GcryptReady()) {
    error = "libgcrypt is older than the version this program was built with";
    return false;
  }
  gcry_md_hd_t md = nullptr;
  if (gcry_md_open(&md, GCRY_MD_SHA256, 0)) {
    error = "SHA-256 is not available";
    return false;
  }
  bool ok = true;
  try {
    std::vector<char> buffer(1 << 16);
    for (;;) {
      int32_t n = stream.Read(buffer.data(), static_cast<int32_t>(buffer.size()));
      if (n < 0) throw base::EReadError("the file cannot be read");
      if (n == 0) break;
      gcry_md_write(md, buffer.data(), static_cast<size_t>(n));
      size += n;
    }
    digest.assign(reinterpret_cast<const char*>(gcry_md_read(md, GCRY_MD_SHA256)), kSha256Size);
  } catch (const std::exception& e) {
    error = e.what();
    ok = false;
  }
  gcry_md_close(md);
  return ok;
}

bool Sha256File(const std::string& fileName, std::string& digest, int64_t& size, std::string& error) {
  digest.clear();
  size = 0;
  try {
    base::TFileStream file(fileName, platform::fmOpenRead | platform::fmShareDenyWrite);
    return Sha256Stream(file, digest, size, error);
  } catch (const std::exception& e) {
    error = e.what();
    return false;
  }
}

std::string ToHex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (char c : bytes) {
    out += kDigits[static_cast<uint8_t>(c) >> 4];
    out += kDigits[static_cast<uint8_t>(c) & 15];
  }
  return out;
}

bool FromHex(std::string_view text, std::string& bytes) {
  bytes.clear();
  if (text.size() % 2 != 0) return false;
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string out;
  for (size_t i = 0; i < text.size(); i += 2) {
    int hi = digit(text[i]), lo = digit(text[i + 1]);
    if (hi < 0 || lo < 0) return false;
    out += static_cast<char>(hi << 4 | lo);
  }
  bytes = std::move(out);
  return true;
}

}  // namespace crypto
