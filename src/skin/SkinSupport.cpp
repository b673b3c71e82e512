#include "skin/SkinSupport.h"

#include <memory>

#include "skin/SkinAnimator.h"

namespace skin {

namespace {
std::unique_ptr<TQZSkinEngine> gEngine;
uint16_t gHookAtom = 0;
}  // namespace

TQZSkinEngine* SkinEngine() { return gEngine.get(); }
uint16_t SkinHookAtom() { return gHookAtom; }

void InitSkinEngineUnit() {
  if (!gHookAtom) gHookAtom = AddHookAtom("QZ_HOOK_WNDPROP");
  if (!gEngine) {
    gEngine = std::make_unique<TQZSkinEngine>();
    gEngine->Name = "SkinEngine";
    gEngine->PixelsPerInch = PlatformPixelsPerInch();
  }
  InstallPlatformParts();
}

void DoneSkinEngineUnit() {
  // The thread may be posting to the platform's host until it is gone.
  FreeSkinAnimatorThread();
  gEngine.reset();
  ReleasePlatformParts();
  if (gHookAtom) DeleteHookAtom(gHookAtom);
  gHookAtom = 0;
}

}  // namespace skin
