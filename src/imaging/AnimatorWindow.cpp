#include "imaging/AnimatorWindow.h"

#include <memory>

#include "base/Thread.h"
#include "imaging/AnimatorThread.h"
#include "ui/MessageWindow.h"

namespace imaging {
namespace {

std::unique_ptr<ui::TMessageWindow> gWindow;

void OnWake(void*, ui::TMessage&) {
  // Calls other threads synchronised onto the GUI thread.
  if (base::IsMainThread()) base::CheckSynchronize();
}
void OnFrameChange(void*, ui::TMessage& m) { AnimatorFrameChange(reinterpret_cast<TGPImageAnimator*>(m.WParam)); }
void OnNotify(void*, ui::TMessage&) { AnimatorNotificationPass(); }

class TWindowHost : public IAnimatorHost {
 public:
  explicit TWindowHost(const ui::TMessageWindow& window) : FWindow(window) {}
  void PostNotify() override { FWindow.Post(WM_ANIMATOR_NOTIFY, 0, 0); }

 private:
  const ui::TMessageWindow& FWindow;
};

TGPAnimatorThread* WindowThreadFactory() {
  auto* thread = new TGPAnimatorThread(std::make_unique<TSystemAnimatorClock>());
  thread->SetHost(new TWindowHost(*gWindow));
  return thread;
}

}  // namespace

void InstallAnimatorWindow() {
  if (gWindow) return;
  gWindow = std::make_unique<ui::TMessageWindow>("TGPAnimatorWindow");
  gWindow->SetMessageHandler(WM_NULL, {&OnWake, nullptr});
  gWindow->SetMessageHandler(WM_ANIMATOR_FRAMECHANGE, {&OnFrameChange, nullptr});
  gWindow->SetMessageHandler(WM_ANIMATOR_NOTIFY, {&OnNotify, nullptr});
  SetAnimatorThreadFactory(&WindowThreadFactory);
}

void ReleaseAnimatorWindow() {
  SetAnimatorThreadFactory(nullptr);
  gWindow.reset();
}

}  // namespace imaging
