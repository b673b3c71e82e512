// Decodes arbitrary bytes as UTF-8 and as the Western code page and encodes them back:
// no overrun, and text that survives one round trip is stable afterwards.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/CodePage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  for (uint32_t cp : {platform::kCodePageUtf8, 1252u, 28591u}) {
    std::u16string wide = platform::MultiByteToWide(bytes, cp);
    std::string back = platform::WideToMultiByte(wide, cp);
    std::u16string again = platform::MultiByteToWide(back, cp);
    if (platform::WideToMultiByte(again, cp) != back) std::abort();
  }
  return 0;
}
