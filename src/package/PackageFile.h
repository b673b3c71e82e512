// An update package held open from its check to its install. The file is opened once,
// by name, with writes denied to everyone else; its size is taken then, and every later
// read (the digest, the index, each entry on its own thread) goes through that one
// handle at explicit offsets. So what is unpacked is exactly what was checked, whatever
// happens to the name meanwhile.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/Stream.h"
#include "platform/Files.h"

namespace package {

class TPackageFile {
 public:
  // Raises EFOpenError "Cannot open file ..." when the file cannot be opened.
  explicit TPackageFile(std::string fileName);
  ~TPackageFile();
  TPackageFile(const TPackageFile&) = delete;
  TPackageFile& operator=(const TPackageFile&) = delete;

  const std::string& FileName() const { return FFileName; }
  // The size when it was opened; reads end there.
  int64_t Size() const { return FSize; }
  // A read-only stream over the package's bytes with a position of its own, at 0. Any
  // number may read at once, from any threads, while this object lives.
  std::unique_ptr<base::TStream> NewReader() const;

 private:
  std::string FFileName;
  platform::FileHandle FHandle = platform::kInvalidFile;
  int64_t FSize = 0;
};

}  // namespace package
