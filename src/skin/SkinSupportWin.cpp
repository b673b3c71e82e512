// Global atoms of the Windows build.
#include <windows.h>

#include "skin/SkinSupport.h"

namespace skin {

uint16_t AddHookAtom(const char* name) { return GlobalAddAtomA(name); }
void DeleteHookAtom(uint16_t atom) { GlobalDeleteAtom(atom); }

}  // namespace skin
