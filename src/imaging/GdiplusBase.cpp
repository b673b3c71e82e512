#include "imaging/GdiplusBase.h"

#include <new>

#include "base/Format.h"
#include "imaging/AnimatorThread.h"
#include "imaging/AnimatorWindow.h"
#include "imaging/GdiplusApi.h"
#include "imaging/GdiplusObjects.h"
#include "platform/Process.h"

namespace imaging {
namespace {

ULONG_PTR gToken = 0;
int gStartCount = 0;

struct TStatusEntry {
  const char* Message;
  enum class Kind { External, Argument, OutOfMemory, InvalidOperation, NotImplemented, FileNotFound, Overflow } Class;
};
using K = TStatusEntry::Kind;

// Indexed by status number; 0 (Ok) never raises.
constexpr TStatusEntry kStatusTable[] = {
    {"", K::External},
    {"GdiplusGenericError", K::External},
    {"GdiplusInvalidParameter", K::Argument},
    {"GdiplusOutOfMemory", K::OutOfMemory},
    {"GdiplusObjectBusy", K::InvalidOperation},
    {"GdiplusInsufficientBuffer", K::OutOfMemory},
    {"GdiplusNotImplemented", K::NotImplemented},
    {"GdiplusGenericError", K::External},  // Win32Error is reported as generic
    {"GdiplusWrongState", K::InvalidOperation},
    {"GdiplusAborted", K::External},
    {"GdiplusFileNotFound", K::FileNotFound},
    {"GdiplusOverflow", K::Overflow},
    {"GdiplusAccessDenied", K::External},
    {"GdiplusUnknownImageFormat", K::Argument},
    {"GdiplusFontFamilyNotFound", K::Argument},
    {"GdiplusFontStyleNotFound", K::Argument},
    {"GdiplusNotTrueTypeFont_NoName", K::Argument},
    {"GdiplusUnsupportedGdiplusVersion", K::External},
    {"GdiplusNotInitialized", K::External},
    {"GdiplusPropertyNotFoundError", K::Argument},
    {"GdiplusPropertyNotSupportedError", K::Argument},
};
constexpr int32_t kTableSize = static_cast<int32_t>(sizeof kStatusTable / sizeof kStatusTable[0]);

}  // namespace

const char* StatusMessage(int32_t status) {
  if (status > 0 && status < kTableSize) return kStatusTable[status].Message;
  return "GdiplusUnknown";
}

void StatusException(int32_t status) {
  const char* message = StatusMessage(status);
  platform::DebugOutput(base::Format("GDIPlus Exception: %d - %s", status, message));
  K kind = (status > 0 && status < kTableSize) ? kStatusTable[status].Class : K::External;
  switch (kind) {
    case K::Argument: throw ArgumentException(message);
    case K::OutOfMemory: throw OutOfMemoryException(message);
    case K::InvalidOperation: throw InvalidOperationException(message);
    case K::NotImplemented: throw NotImplementedException(message);
    case K::FileNotFound: throw FileNotFoundException(message);
    case K::Overflow: throw OverflowException(message);
    case K::External: break;
  }
  throw ExternalException(message);
}

void StartupGdiplus() {
  if (gStartCount++ > 0) return;
  Gdiplus::GdiplusStartupInput input;  // version 1, no callback, background thread allowed
  input.GdiplusVersion = 1;
  input.DebugEventCallback = nullptr;
  input.SuppressBackgroundThread = FALSE;
  input.SuppressExternalCodecs = FALSE;
  Gdiplus::Status s = Gdiplus::GdiplusStartup(&gToken, &input, nullptr);
  if (s != Gdiplus::Ok) {
    gStartCount = 0;
    gToken = 0;
    StatusException(s);
  }
  try {
    InstallAnimatorWindow();
  } catch (const base::Exception& e) {
    // Without the window, animated pictures keep their first frame.
    platform::DebugOutput("GDIPlus: no animator window: " + e.Message());
  }
}

void ShutdownGdiplus() {
  if (gStartCount == 0 || --gStartCount > 0) return;
  // Nothing that holds a GDI+ object may outlive the library: the animator thread (and
  // the animators it owns) first, then its window, then the cached font family.
  FreeAnimatorThread();
  ReleaseAnimatorWindow();
  TGPFontFamily::ReleaseCached();
  Gdiplus::GdiplusShutdown(gToken);
  gToken = 0;
}

bool GdiplusStarted() { return gStartCount > 0; }

void* TGdiplusBase::operator new(std::size_t size) {
  void* p = Gdiplus::DllExports::GdipAlloc(size);
  if (!p) throw std::bad_alloc();
  return p;
}

void TGdiplusBase::operator delete(void* p) noexcept { Gdiplus::DllExports::GdipFree(p); }

void TGdiplusBase::Check(int32_t status) {
  FLastStatus = status;
  if (status != 0) StatusException(status);
}

}  // namespace imaging
