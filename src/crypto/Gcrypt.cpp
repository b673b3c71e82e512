#include "crypto/Gcrypt.h"

#include <gcrypt.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace crypto {
namespace {

// The library's own messages: its notes (on Windows, that disk statistics are off while
// it gathers randomness) are of no use to a user; warnings and errors go to stderr.
void LogHandler(void*, int level, const char* format, va_list args) {
  if (level < GCRY_LOG_WARN) return;
  std::vfprintf(stderr, format, args);
}

}  // namespace

bool GcryptReady() {
  static std::once_flag once;
  static bool ready = false;
  std::call_once(once, [] {
    gcry_set_log_handler(&LogHandler, nullptr);
    if (!gcry_check_version(GCRYPT_VERSION)) return;
    // Nothing here holds long-lived secrets worth locked memory (a vendor's signing key
    // lives for one command), and secure memory needs privileges a user may not have.
    gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    ready = true;
  });
  return ready;
}

}  // namespace crypto
