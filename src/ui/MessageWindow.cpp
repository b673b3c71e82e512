#include "ui/MessageWindow.h"

#include <exception>

#include "base/ExceptionHandler.h"
#include "base/Exceptions.h"

namespace ui {

TMessageWindow::TMessageWindow(const char* className) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA wc{};
  if (!GetClassInfoA(instance, className, &wc)) {
    wc.lpfnWndProc = &TMessageWindow::WindowProc;
    wc.hInstance = instance;
    wc.lpszClassName = className;
    if (!RegisterClassA(&wc)) base::RaiseLastOSError();
  }
  FHandle = CreateWindowExA(0, className, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
  if (!FHandle) base::RaiseLastOSError();
  SetWindowLongPtrA(FHandle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

TMessageWindow::~TMessageWindow() {
  SetWindowLongPtrA(FHandle, GWLP_USERDATA, 0);
  DestroyWindow(FHandle);
}

void TMessageWindow::SetMessageHandler(uint32_t msg, TMessageEvent handler) {
  if (handler)
    FHandlers[msg] = handler;
  else
    FHandlers.erase(msg);
}

bool TMessageWindow::Post(uint32_t msg, WPARAM wParam, LPARAM lParam) const {
  return PostMessageA(FHandle, msg, wParam, lParam) != FALSE;
}

LRESULT CALLBACK TMessageWindow::WindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<TMessageWindow*>(GetWindowLongPtrA(wnd, GWLP_USERDATA));
  if (self) {
    auto it = self->FHandlers.find(msg);
    if (it != self->FHandlers.end()) {
      TMessage m{msg, wParam, lParam, 0};
      try {
        it->second(m);
      } catch (...) {
        base::HandleApplicationException(nullptr, std::current_exception());
        return 0;
      }
      return m.Result;
    }
  }
  return DefWindowProcA(wnd, msg, wParam, lParam);
}

}  // namespace ui
