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
  }
}

void DoneSkinEngineUnit() {
  FreeSkinAnimatorThread();
  gEngine.reset();
  if (gHookAtom) DeleteHookAtom(gHookAtom);
  gHookAtom = 0;
}

}  // namespace skin
