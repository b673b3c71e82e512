// TWideFileStream: a file stream opened by a UTF-16 name, so that paths outside the
// system's 8-bit code page work. Mode fmCreateWide (or the library's fmCreate) creates
// the file, emptying one that exists, for reading and writing without sharing; any other
// mode opens an existing file with the access of its low two bits and the sharing of
// its fmShare* bits (fmShareCompat counts as exclusive).
#pragma once

#include <cstdint>
#include <string>

#include "base/Stream.h"

namespace text {

constexpr uint32_t fmCreateWide = 0xFFFF;

class TWideFileStream : public base::THandleStream {
 public:
  // Raises EFCreateError "Cannot create file "%s". %s" or EFOpenError
  // "Cannot open file "%s". %s" with the full path and the system's reason.
  TWideFileStream(const std::u16string& fileName, uint32_t mode);
  ~TWideFileStream() override;
  const std::u16string& FileName() const { return FFileName; }

 private:
  std::u16string FFileName;
};

}  // namespace text
