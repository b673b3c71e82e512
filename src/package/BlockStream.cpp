#include "package/BlockStream.h"

#include <algorithm>

#include "base/Exceptions.h"

namespace package {

TBlockStream::TBlockStream(base::TStream& parent, int64_t start, int64_t size)
    : FParent(parent), FStart(start), FSize(std::max<int64_t>(size, 0)) {}

int32_t TBlockStream::Read(void* buffer, int32_t count) {
  int64_t left = FSize - FPosition;
  if (count <= 0 || left <= 0) return 0;
  int32_t n = static_cast<int32_t>(std::min<int64_t>(count, left));
  // The parent is shared (the package file), so place it every time.
  if (FParent.Seek(FStart + FPosition, base::TSeekOrigin::soBeginning) != FStart + FPosition) return 0;
  int32_t got = FParent.Read(buffer, n);
  if (got <= 0) return 0;
  FPosition += got;
  return got;
}

int32_t TBlockStream::Write(const void*, int32_t) { throw base::EWriteError("Stream write error"); }

int64_t TBlockStream::Seek(int64_t offset, base::TSeekOrigin origin) {
  int64_t p = offset;
  if (origin == base::TSeekOrigin::soCurrent)
    p += FPosition;
  else if (origin == base::TSeekOrigin::soEnd)
    p += FSize;
  FPosition = std::clamp<int64_t>(p, 0, FSize);
  return FPosition;
}

}  // namespace package
