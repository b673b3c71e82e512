#include "imaging/AnimatorClock.h"

#include "platform/Thread.h"

namespace imaging {

void TSystemAnimatorClock::Sleep(uint32_t ms) { platform::SleepMs(ms); }

bool TSystemAnimatorClock::WaitForWake(uint32_t ms) { return FWake.WaitFor(ms) == base::TWaitResult::wrSignaled; }

}  // namespace imaging
