#include "ui/Form.h"

#include <exception>

#include "base/Exceptions.h"
#include "ui/Application.h"

namespace ui {

TForm::TForm(TApplication& owner) : FOwner(owner) {}

TForm::~TForm() {
  if (HWND wnd = ReleaseHandle()) DestroyWindow(wnd);
}

HWND TForm::ReleaseHandle() {
  HWND wnd = FHandle;
  if (wnd) SetWindowLongPtrA(wnd, GWLP_USERDATA, 0);
  FHandle = nullptr;
  return wnd;
}

void TForm::SetCaption(const base::AnsiString& caption) {
  FCaption = caption;
  if (FHandle) SetWindowTextA(FHandle, caption.c_str());
}

void TForm::CreateParams(DWORD& style, DWORD& exStyle) {
  exStyle = 0;
  switch (BorderStyle) {
    case TFormBorderStyle::bsNone: style = WS_POPUP | WS_CLIPCHILDREN; break;
    case TFormBorderStyle::bsSingle: style = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN; break;
    case TFormBorderStyle::bsSizeable: style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN; break;
  }
}

void TForm::CreateHandle() {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA wc{};
  if (!GetClassInfoA(instance, ClassName(), &wc)) {
    wc.lpfnWndProc = &TForm::WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = ClassName();
    if (!RegisterClassA(&wc)) base::RaiseLastOSError();
  }
  DWORD style = 0, exStyle = 0;
  CreateParams(style, exStyle);
  RECT r{0, 0, ClientWidth, ClientHeight};
  AdjustWindowRectEx(&r, style, FALSE, exStyle);
  // The application window owns the form, as it owns every top-level form.
  FHandle = CreateWindowExA(exStyle, ClassName(), FCaption.c_str(), style, Left, Top, r.right - r.left,
                            r.bottom - r.top, FOwner.Handle(), nullptr, instance, this);
  if (!FHandle) base::RaiseLastOSError();
}

HWND TForm::Handle() {
  if (!FHandle) CreateHandle();
  return FHandle;
}

bool TForm::Visible() const { return FHandle && IsWindowVisible(FHandle); }

void TForm::Show() {
  HWND wnd = Handle();
  if (!FShownOnce) {
    FShownOnce = true;
    if (Position == TPosition::poScreenCenter) {
      RECT r{};
      GetWindowRect(wnd, &r);
      Left = (GetSystemMetrics(SM_CXSCREEN) - (r.right - r.left)) / 2;
      Top = (GetSystemMetrics(SM_CYSCREEN) - (r.bottom - r.top)) / 2;
      SetWindowPos(wnd, nullptr, Left, Top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }
  ShowWindow(wnd, SW_SHOWNORMAL);
}

void TForm::Hide() {
  if (FHandle) ShowWindow(FHandle, SW_HIDE);
}

void TForm::Close() {
  // The main form stays as it is until the application releases it: the loop ends and
  // the window goes with the form.
  if (FOwner.MainForm() == this)
    FOwner.Terminate();
  else
    Hide();
}

void TForm::SetMessageHandler(uint32_t msg, TMessageEvent handler) {
  if (handler)
    FHandlers[msg] = handler;
  else
    FHandlers.erase(msg);
}

void TForm::Dispatch(TMessage& message) {
  auto it = FHandlers.find(message.Msg);
  if (it != FHandlers.end()) {
    it->second(message);
    return;
  }
  message.Result = DefWindowProcA(FHandle, message.Msg, message.WParam, message.LParam);
}

void TForm::WndProc(TMessage& message) { Dispatch(message); }

LRESULT TForm::Perform(uint32_t msg, WPARAM wParam, LPARAM lParam) {
  TMessage m{msg, wParam, lParam, 0};
  WndProc(m);
  return m.Result;
}

void TForm::AfterConstruction() {
  if (OnCreate) OnCreate(this);
}

void TForm::BeforeDestruction() {
  if (OnDestroy) OnDestroy(this);
}

LRESULT CALLBACK TForm::WindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTA*>(lParam);
    auto* form = static_cast<TForm*>(cs->lpCreateParams);
    form->FHandle = wnd;
    SetWindowLongPtrA(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
  }
  auto* form = reinterpret_cast<TForm*>(GetWindowLongPtrA(wnd, GWLP_USERDATA));
  if (!form) return DefWindowProcA(wnd, msg, wParam, lParam);
  TMessage m{msg, wParam, lParam, 0};
  try {
    form->WndProc(m);
  } catch (...) {
    form->FOwner.HandleException(form, std::current_exception());
    m.Result = 0;
  }
  return m.Result;
}

}  // namespace ui
