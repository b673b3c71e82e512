// The Windows part of the skin unit: global atoms, the screen's pixels per inch, the
// animator thread's message window on the GUI thread, and the skinned hint window.
#include <windows.h>

#include <memory>

#include "base/Exceptions.h"
#include "imaging/PixelFormats.h"
#include "platform/Process.h"
#include "skin/SkinAnimator.h"
#include "skin/SkinHintWindow.h"
#include "skin/SkinSupport.h"
#include "ui/Application.h"
#include "ui/MessageWindow.h"

namespace skin {

namespace {

void OnAnimatorChange(void*, ui::TMessage& m) { SkinAnimatorChange(reinterpret_cast<TSkinAnimator*>(m.WParam)); }
void OnAnimatorNotify(void*, ui::TMessage&) { SkinAnimatorNotifyPass(); }

// The animator thread posts 2024 and 2025 here; the handlers run on the GUI thread
// inside its message loop.
class TSkinAnimatorWindow final : public ISkinAnimatorHost {
 public:
  TSkinAnimatorWindow() : FWindow("TSkinAnimatorWindow") {
    FWindow.SetMessageHandler(WM_SKINANI_CHANGE, {&OnAnimatorChange, nullptr});
    FWindow.SetMessageHandler(WM_SKINANI_NOTIFY, {&OnAnimatorNotify, nullptr});
  }
  void Post(uint32_t message, TSkinAnimator* animator) override {
    FWindow.Post(message, reinterpret_cast<WPARAM>(animator), 0);
  }

 private:
  ui::TMessageWindow FWindow;
};

std::unique_ptr<TSkinAnimatorWindow> gAnimatorWindow;

}  // namespace

uint16_t AddHookAtom(const char* name) { return GlobalAddAtomA(name); }
void DeleteHookAtom(uint16_t atom) { GlobalDeleteAtom(atom); }

int32_t PlatformPixelsPerInch() { return imaging::ScreenPixelsPerInch(); }

void InstallPlatformParts() {
  ui::Application().SetHintWindowClass(&QZHintWindowClass);
  if (gAnimatorWindow) return;
  try {
    gAnimatorWindow = std::make_unique<TSkinAnimatorWindow>();
  } catch (const base::Exception& e) {
    // The program goes on; skin animations then keep their first frame.
    platform::DebugOutput("SkinEngine: no animator window: " + e.Message());
    return;
  }
  SetSkinAnimatorHost(gAnimatorWindow.get());
}

void ReleasePlatformParts() {
  if (ui::Application().HintWindowClass() == &QZHintWindowClass) ui::Application().SetHintWindowClass(nullptr);
  SetSkinAnimatorHost(nullptr);
  gAnimatorWindow.reset();
}

}  // namespace skin
