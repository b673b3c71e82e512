// The native build has no global atom table: the hook atom stays 0.
#include "skin/SkinSupport.h"

namespace skin {

uint16_t AddHookAtom(const char*) { return 0; }
void DeleteHookAtom(uint16_t) {}

}  // namespace skin
