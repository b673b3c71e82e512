#include "base/Exceptions.h"

#include "base/Format.h"
#include "platform/SystemError.h"

namespace base {

void RaiseListIndexError(int index) { throw EListError(Format("List index out of bounds (%d)", index)); }

void RaiseFileCreateError(const std::string& fileName) {
  uint32_t code = platform::LastError();
  throw EFCreateError(Format("Cannot create file \"%s\". %s", fileName, platform::SysErrorMessage(code)));
}

void RaiseFileOpenError(const std::string& fileName) {
  uint32_t code = platform::LastError();
  throw EFOpenError(Format("Cannot open file \"%s\". %s", fileName, platform::SysErrorMessage(code)));
}

void RaiseLastOSError() {
  uint32_t code = platform::LastError();
  throw EOSError(Format("System Error.  Code: %d.\r\n%s", code, platform::SysErrorMessage(code)),
                 static_cast<int>(code));
}

std::string ExceptionMessage(const std::exception_ptr& e) {
  if (!e) return {};
  try {
    std::rethrow_exception(e);
  } catch (const std::exception& x) {
    return x.what();
  } catch (...) {
    return "Unknown exception";
  }
}

}  // namespace base
