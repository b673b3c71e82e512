#include "package/PackageFile.h"

#include <algorithm>

#include "base/Exceptions.h"
#include "base/Format.h"
#include "platform/SystemError.h"

namespace package {
namespace {

class TPackageFileReader : public base::TStream {
 public:
  TPackageFileReader(platform::FileHandle handle, int64_t size) : FHandle(handle), FSize(size) {}

  int32_t Read(void* buffer, int32_t count) override {
    if (count <= 0 || FPosition >= FSize) return 0;
    int32_t wanted = static_cast<int32_t>(std::min<int64_t>(count, FSize - FPosition));
    int32_t n = platform::FileReadAt(FHandle, FPosition, buffer, wanted);
    if (n <= 0) return 0;
    FPosition += n;
    return n;
  }
  int32_t Write(const void*, int32_t) override { return 0; }
  int64_t Seek(int64_t offset, base::TSeekOrigin origin) override {
    int64_t base = origin == base::TSeekOrigin::soBeginning ? 0
                   : origin == base::TSeekOrigin::soCurrent ? FPosition
                                                            : FSize;
    if (base + offset >= 0) FPosition = base + offset;
    return FPosition;
  }
  int64_t Size() override { return FSize; }
  void SetSize(int64_t) override { throw base::EWriteError("Stream write error"); }

 private:
  platform::FileHandle FHandle;
  int64_t FSize;
  int64_t FPosition = 0;
};

}  // namespace

TPackageFile::TPackageFile(std::string fileName) : FFileName(std::move(fileName)) {
  FHandle = platform::FileOpen(FFileName, platform::fmOpenRead | platform::fmShareDenyWrite);
  if (FHandle == platform::kInvalidFile)
    throw base::EFOpenError(
        base::Format("Cannot open file \"%s\". %s", FFileName, platform::SysErrorMessage(platform::LastError())));
  FSize = platform::FileSeek(FHandle, 0, platform::SeekOrigin::End);
  if (FSize < 0) {
    platform::FileClose(FHandle);
    throw base::EFOpenError(
        base::Format("Cannot open file \"%s\". %s", FFileName, platform::SysErrorMessage(platform::LastError())));
  }
}

TPackageFile::~TPackageFile() { platform::FileClose(FHandle); }

std::unique_ptr<base::TStream> TPackageFile::NewReader() const {
  return std::make_unique<TPackageFileReader>(FHandle, FSize);
}

}  // namespace package
