// A read-only window onto part of another stream: one compressed block of a package,
// read in place instead of being copied into memory first (a block can be hundreds of
// megabytes in a 32-bit process).
#pragma once

#include <cstdint>

#include "base/Stream.h"

namespace package {

class TBlockStream : public base::TStream {
 public:
  // The window is [start, start + size) of parent, which is not owned. Reads past the
  // window's end return 0, also when the parent is longer.
  TBlockStream(base::TStream& parent, int64_t start, int64_t size);

  int32_t Read(void* buffer, int32_t count) override;
  // Refused: packages are read, never patched (raises EWriteError).
  int32_t Write(const void* buffer, int32_t count) override;
  // Positions are relative to the window and clamped to it.
  int64_t Seek(int64_t offset, base::TSeekOrigin origin) override;
  int64_t Size() override { return FSize; }

 private:
  base::TStream& FParent;
  int64_t FStart;
  int64_t FSize;
  int64_t FPosition = 0;
};

}  // namespace package
