#include "download/QZThread.h"

#include "base/ExceptionHandler.h"

namespace download {

TQZThread::~TQZThread() { SetFreeOnTerminate(false); }

void TQZThread::Destroy() {
  SetFreeOnTerminate(false);
  TThread::Destroy();
}

void TQZThread::DoTerminate() {
  try {
    TThread::DoTerminate();
  } catch (...) {
    HandleThreadException();
  }
}

void TQZThread::HandleThreadException() { base::HandleApplicationException(this, std::current_exception()); }

}  // namespace download
