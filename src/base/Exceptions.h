// The exception hierarchy: every exception the library raises derives from Exception,
// which carries the product's fixed message text and an optional help-context code.
#pragma once

#include <exception>
#include <string>

namespace base {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message, int helpContext = 0)
      : FMessage(std::move(message)), FHelpContext(helpContext) {}
  const std::string& Message() const { return FMessage; }
  int HelpContext() const { return FHelpContext; }
  const char* what() const noexcept override { return FMessage.c_str(); }

 private:
  std::string FMessage;
  int FHelpContext;
};

#define BASE_DECLARE_EXCEPTION(Name, Base) \
  class Name : public Base {               \
   public:                                 \
    using Base::Base;                      \
  }

BASE_DECLARE_EXCEPTION(EListError, Exception);
BASE_DECLARE_EXCEPTION(EThread, Exception);
BASE_DECLARE_EXCEPTION(EConvertError, Exception);
BASE_DECLARE_EXCEPTION(EOSError, Exception);
BASE_DECLARE_EXCEPTION(EStreamError, Exception);
BASE_DECLARE_EXCEPTION(EFileStreamError, EStreamError);
BASE_DECLARE_EXCEPTION(EFCreateError, EFileStreamError);
BASE_DECLARE_EXCEPTION(EFOpenError, EFileStreamError);
BASE_DECLARE_EXCEPTION(EReadError, EStreamError);
BASE_DECLARE_EXCEPTION(EWriteError, EStreamError);
BASE_DECLARE_EXCEPTION(EStringListError, Exception);
BASE_DECLARE_EXCEPTION(EInvalidOperation, Exception);

// "List index out of bounds (%d)"
[[noreturn]] void RaiseListIndexError(int index);
// "Cannot create file \"%s\". %s" with the system's text for the last error.
[[noreturn]] void RaiseFileCreateError(const std::string& fileName);
// "Cannot open file \"%s\". %s" with the system's text for the last error.
[[noreturn]] void RaiseFileOpenError(const std::string& fileName);
// "System Error.  Code: %d.\r\n%s" with the system's text for the code.
[[noreturn]] void RaiseLastOSError();

// The message of the exception behind an exception_ptr (for logs and handlers).
std::string ExceptionMessage(const std::exception_ptr& e);

}  // namespace base
