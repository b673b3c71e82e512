// The root of the GDI+ object layer: library start-up and shutdown, the exception
// classes for GDI+ status codes and the base class whose instances live in GDI+ memory.
// Every wrapped call that returns a status other than Ok raises the exception that
// StatusException names for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/Exceptions.h"

namespace imaging {

class GDIPlusException : public base::Exception {
 public:
  using Exception::Exception;
};
BASE_DECLARE_EXCEPTION(ExternalException, GDIPlusException);
BASE_DECLARE_EXCEPTION(ArgumentException, GDIPlusException);
BASE_DECLARE_EXCEPTION(OutOfMemoryException, GDIPlusException);
BASE_DECLARE_EXCEPTION(InvalidOperationException, GDIPlusException);
BASE_DECLARE_EXCEPTION(NotImplementedException, GDIPlusException);
BASE_DECLARE_EXCEPTION(FileNotFoundException, GDIPlusException);
BASE_DECLARE_EXCEPTION(OverflowException, GDIPlusException);

// The message text for a GDI+ status ("GdiplusGenericError", ...; "GdiplusUnknown" for
// numbers outside the table).
const char* StatusMessage(int32_t status);
// Sends "GDIPlus Exception: %d - %s" to the debugger output and raises the exception
// class of the status with its message. Not for status 0.
[[noreturn]] void StatusException(int32_t status);

// Starts GDI+ once for the process (version 1, no debug callback, background thread
// allowed) with the frame animator's window. Later calls only count; each call needs one
// ShutdownGdiplus, whose last call frees the animator thread, its window and the cached
// objects before GDI+ goes. Main thread.
void StartupGdiplus();
void ShutdownGdiplus();
bool GdiplusStarted();

// Start-up for the lifetime of a scope (the program's entry point holds one).
class TGdiplusSession {
 public:
  TGdiplusSession() { StartupGdiplus(); }
  ~TGdiplusSession() { ShutdownGdiplus(); }
  TGdiplusSession(const TGdiplusSession&) = delete;
  TGdiplusSession& operator=(const TGdiplusSession&) = delete;
};

// Base of the wrappers: instances are allocated with GDI+'s allocator, remember the
// status of their last call, and raise on failures.
class TGdiplusBase {
 public:
  static void* operator new(std::size_t size);
  static void operator delete(void* p) noexcept;
  virtual ~TGdiplusBase() = default;

  int32_t LastStatus() const { return FLastStatus; }

 protected:
  TGdiplusBase() = default;
  // Records the status; raises for anything but Ok.
  void Check(int32_t status);

 private:
  int32_t FLastStatus = 0;
};

}  // namespace imaging
