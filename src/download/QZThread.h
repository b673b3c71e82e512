// TQZThread: the base class of every worker thread of the component library (HTTP
// workers, animators). It adds to TThread that a failing OnTerminate handler is shown
// by the application instead of ending the thread, and that destroying a thread object
// never lets the thread free it a second time.
#pragma once

#include "base/Thread.h"

namespace download {

class TQZThread : public base::TThread {
 public:
  explicit TQZThread(bool createSuspended) : TThread(createSuspended) {}
  // Clears FreeOnTerminate first, then terminates and waits unless finished or never run.
  ~TQZThread() override;
  void Destroy() override;

 protected:
  void DoTerminate() override;
  // Hands the exception being handled to the application's exception handler.
  void HandleThreadException();
};

}  // namespace download
