// The process-wide skin engine ("SkinEngine") and the start-up and shutdown of the skin
// unit. Start-up registers the global atom "QZ_HOOK_WNDPROP", creates the engine when
// not yet present (lengths scaled for the screen's pixels per inch) and installs the
// platform's parts: on Windows the animator thread's message window on the GUI thread
// and the skinned hint window as the application's hint window. Shutdown frees the
// animator thread first, then the engine, then the platform's parts, and deletes the
// atom. GUI thread.
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

// The unit's start-up and shutdown for the program's lifetime (the launcher's entry).
class TSkinSession {
 public:
  TSkinSession() { InitSkinEngineUnit(); }
  ~TSkinSession() { DoneSkinEngineUnit(); }
  TSkinSession(const TSkinSession&) = delete;
  TSkinSession& operator=(const TSkinSession&) = delete;
};

// Platform part (one source per platform).
uint16_t AddHookAtom(const char* name);
void DeleteHookAtom(uint16_t atom);
// The screen's vertical pixels per inch (96 where there is no screen).
int32_t PlatformPixelsPerInch();
// Installs the animator thread's host and the hint window class; a second call while
// installed does nothing. ReleasePlatformParts runs after the animator thread is gone.
void InstallPlatformParts();
void ReleasePlatformParts();

}  // namespace skin
