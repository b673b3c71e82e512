// The native build has no global atom table, no screen and no window system: the hook
// atom stays 0, lengths are scaled for 96 pixels per inch, and the animator thread
// posts to whatever host the caller installs (tests pump their own queue).
#include "skin/SkinSupport.h"

namespace skin {

uint16_t AddHookAtom(const char*) { return 0; }
void DeleteHookAtom(uint16_t) {}
int32_t PlatformPixelsPerInch() { return 96; }
void InstallPlatformParts() {}
void ReleasePlatformParts() {}

}  // namespace skin
