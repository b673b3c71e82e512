#include "base/ExceptionHandler.h"

#include <mutex>

namespace base {
namespace {
std::mutex gLock;
TExceptionHandler gHandler;
}  // namespace

void SetApplicationExceptionHandler(TExceptionHandler handler) {
  std::lock_guard<std::mutex> g(gLock);
  gHandler = handler;
}

bool HandleApplicationException(TObject* sender, const std::exception_ptr& e) {
  TExceptionHandler h;
  {
    std::lock_guard<std::mutex> g(gLock);
    h = gHandler;
  }
  if (!h) return false;
  try {
    h(sender, e);
  } catch (...) {
    // A failing handler must not take the calling thread down with it.
  }
  return true;
}

}  // namespace base
