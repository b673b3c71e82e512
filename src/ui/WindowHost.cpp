#include "ui/WindowHost.h"

#include "base/ExceptionHandler.h"
#include "base/Exceptions.h"

namespace ui {

TWindowHost::~TWindowHost() { DestroyHostWindow(); }

void TWindowHost::CreateHostWindow(const TWindowClass& windowClass, const TWindowParams& params) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA wc{};
  if (!GetClassInfoA(instance, windowClass.Name, &wc)) {
    wc.style = windowClass.Style;
    wc.lpfnWndProc = &TWindowHost::WindowProc;
    wc.hInstance = instance;
    wc.hCursor = windowClass.Cursor ? LoadCursorA(nullptr, windowClass.Cursor) : nullptr;
    wc.lpszClassName = windowClass.Name;
    if (!RegisterClassA(&wc)) base::RaiseLastOSError();
  }
  // WindowProc binds the window at WM_NCCREATE: FWindow is set when this returns.
  HWND wnd = CreateWindowExA(params.ExStyle, windowClass.Name, params.Caption, params.Style, params.Left, params.Top,
                             params.Width, params.Height, params.Parent, nullptr, instance, this);
  if (!wnd) {
    // A window refused at WM_NCCREATE was bound for a moment and is gone.
    FWindow = nullptr;
    base::RaiseLastOSError();
  }
}

HWND TWindowHost::DetachHostWindow() {
  HWND wnd = FWindow;
  if (wnd) SetWindowLongPtrA(wnd, GWLP_USERDATA, 0);
  FWindow = nullptr;
  return wnd;
}

void TWindowHost::DestroyHostWindow() {
  if (HWND wnd = DetachHostWindow()) DestroyWindow(wnd);
}

void TWindowHost::HostException(const std::exception_ptr& e) { base::HandleApplicationException(nullptr, e); }

void TWindowHost::DefaultHandler(TMessage& m) { m.Result = DefWindowProcA(FWindow, m.Msg, m.WParam, m.LParam); }

LRESULT CALLBACK TWindowHost::WindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* host = static_cast<TWindowHost*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    host->FWindow = wnd;
    SetWindowLongPtrA(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(host));
  }
  auto* host = reinterpret_cast<TWindowHost*>(GetWindowLongPtrA(wnd, GWLP_USERDATA));
  if (!host) return DefWindowProcA(wnd, msg, wParam, lParam);
  TMessage m{msg, wParam, lParam, 0};
  try {
    host->HostMessage(m);
  } catch (...) {
    m.Result = 0;
    try {
      host->HostException(std::current_exception());
    } catch (...) {
      // A failing exception handler has nowhere else to go: the system's frames must
      // not see it.
    }
  }
  // The window is gone: the object must not keep its handle. The host may itself be gone
  // by now when a handler released it, so it is read again.
  if (msg == WM_NCDESTROY) {
    if (auto* still = reinterpret_cast<TWindowHost*>(GetWindowLongPtrA(wnd, GWLP_USERDATA))) {
      SetWindowLongPtrA(wnd, GWLP_USERDATA, 0);
      still->FWindow = nullptr;
    }
  }
  return m.Result;
}

void TMessageHandlers::Set(uint32_t msg, TMessageEvent handler) {
  if (handler)
    FHandlers[msg] = handler;
  else
    FHandlers.erase(msg);
}

bool TMessageHandlers::Dispatch(TMessage& message) const {
  auto it = FHandlers.find(message.Msg);
  if (it == FHandlers.end()) return false;
  it->second(message);
  return true;
}

}  // namespace ui
