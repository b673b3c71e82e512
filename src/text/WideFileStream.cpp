#include "text/WideFileStream.h"

#include "base/Exceptions.h"
#include "base/Strings.h"
#include "platform/SystemError.h"

namespace text {
namespace {

// The full path for the message, keeping the error of the failed call for it.
std::string ShownName(const std::u16string& name) {
  uint32_t error = platform::LastError();
  std::string shown = base::WideToAnsi(platform::ExpandFileName(name));
  platform::SetLastError(error);
  return shown;
}

platform::FileHandle OpenWide(const std::u16string& name, uint32_t mode) {
  if ((mode & base::fmCreate) == base::fmCreate) {
    platform::FileHandle h = platform::FileCreate(name, platform::fmShareExclusive);
    if (h == platform::kInvalidFile) base::RaiseFileCreateError(ShownName(name));
    return h;
  }
  uint32_t share = mode & 0x70;
  if (share == platform::fmShareCompat) share = platform::fmShareExclusive;
  platform::FileHandle h = platform::FileOpen(name, (mode & 3) | share);
  if (h == platform::kInvalidFile) base::RaiseFileOpenError(ShownName(name));
  return h;
}

}  // namespace

TWideFileStream::TWideFileStream(const std::u16string& fileName, uint32_t mode)
    : THandleStream(OpenWide(fileName, mode)), FFileName(fileName) {}

TWideFileStream::~TWideFileStream() { platform::FileClose(FHandle); }

}  // namespace text
