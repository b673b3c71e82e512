// The application's exception handler: the one place where exceptions that no caller
// can take (in thread termination handlers, in window messages) are shown or logged.
// The window framework installs it; without one such exceptions are dropped.
#pragma once

#include <exception>

#include "base/Object.h"

namespace base {

using TExceptionHandler = TClosure<TObject* /*sender*/, const std::exception_ptr&>;

// Installs the handler (an empty closure removes it). Thread-safe.
void SetApplicationExceptionHandler(TExceptionHandler handler);
// Hands an exception to the installed handler; false when none is installed.
bool HandleApplicationException(TObject* sender, const std::exception_ptr& e);

}  // namespace base
