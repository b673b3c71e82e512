// The process-wide skin engine ("SkinEngine") and the start-up and shutdown of the skin
// unit: the engine is created at start-up when not yet present and the global atom
// "QZ_HOOK_WNDPROP" registered; shutdown frees the animator thread first, then the
// engine, and deletes the atom. GUI thread.
#pragma once

#include <cstdint>

#include "skin/SkinEngine.h"

namespace skin {

// The process-wide engine; null before start-up and after shutdown.
TQZSkinEngine* SkinEngine();
void InitSkinEngineUnit();
void DoneSkinEngineUnit();

// The hook atom while the unit is up (0 where the platform has no global atoms).
uint16_t SkinHookAtom();

// Platform part (one source per platform).
uint16_t AddHookAtom(const char* name);
void DeleteHookAtom(uint16_t atom);

}  // namespace skin
