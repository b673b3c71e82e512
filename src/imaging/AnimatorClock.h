// The animator thread's sense of time: the pause between passes and the idle wait for
// new work. The product uses the system clock; timing tests drive a fake one.
#pragma once

#include <cstdint>

#include "base/SyncObjs.h"

namespace imaging {

class IAnimatorClock {
 public:
  virtual ~IAnimatorClock() = default;
  // The pause between two passes (animator thread).
  virtual void Sleep(uint32_t ms) = 0;
  // The idle wait: true when Wake came before ms elapsed (animator thread).
  virtual bool WaitForWake(uint32_t ms) = 0;
  // Ends an idle wait early; stays set until ResetWake (any thread).
  virtual void Wake() = 0;
  virtual void ResetWake() = 0;
};

// The system clock over a manual-reset event (initially not signalled).
class TSystemAnimatorClock : public IAnimatorClock {
 public:
  void Sleep(uint32_t ms) override;
  bool WaitForWake(uint32_t ms) override;
  void Wake() override { FWake.SetEvent(); }
  void ResetWake() override { FWake.ResetEvent(); }

 private:
  base::TEvent FWake{true, false};
};

}  // namespace imaging
