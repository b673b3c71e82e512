#include "imaging/AnimatorWindow.h"

#include <windows.h>

#include <exception>

#include "base/ExceptionHandler.h"
#include "base/Exceptions.h"
#include "base/Thread.h"
#include "imaging/AnimatorThread.h"

namespace imaging {
namespace {

constexpr char kWindowClass[] = "TGPAnimatorWindow";
HWND gWindow = nullptr;

LRESULT CALLBACK AnimatorWindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  try {
    switch (msg) {
      case WM_NULL:
        // Calls other threads synchronised onto the GUI thread.
        if (base::IsMainThread()) base::CheckSynchronize();
        break;
      case WM_ANIMATOR_FRAMECHANGE: AnimatorFrameChange(reinterpret_cast<TGPImageAnimator*>(wParam)); return 0;
      case WM_ANIMATOR_NOTIFY: AnimatorNotificationPass(); return 0;
      default: break;
    }
  } catch (...) {
    // A failing frame handler must not unwind through the system's window frames.
    base::HandleApplicationException(nullptr, std::current_exception());
    return 0;
  }
  return DefWindowProcA(wnd, msg, wParam, lParam);
}

class TWindowHost : public IAnimatorHost {
 public:
  explicit TWindowHost(HWND wnd) : FWindow(wnd) {}
  void PostNotify() override { PostMessageA(FWindow, WM_ANIMATOR_NOTIFY, 0, 0); }

 private:
  HWND FWindow;
};

TGPAnimatorThread* WindowThreadFactory() {
  auto* thread = new TGPAnimatorThread(std::make_unique<TSystemAnimatorClock>());
  thread->SetHost(new TWindowHost(gWindow));
  return thread;
}

}  // namespace

void InstallAnimatorWindow() {
  if (gWindow) return;
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA wc{};
  if (!GetClassInfoA(instance, kWindowClass, &wc)) {
    wc.lpfnWndProc = &AnimatorWindowProc;
    wc.hInstance = instance;
    wc.lpszClassName = kWindowClass;
    if (!RegisterClassA(&wc)) base::RaiseLastOSError();
  }
  gWindow = CreateWindowExA(0, kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
  if (!gWindow) base::RaiseLastOSError();
  SetAnimatorThreadFactory(&WindowThreadFactory);
}

void ReleaseAnimatorWindow() {
  SetAnimatorThreadFactory(nullptr);
  if (gWindow) DestroyWindow(gWindow);
  gWindow = nullptr;
}

}  // namespace imaging
