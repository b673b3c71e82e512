#include "ui/Form.h"

#include "ui/Application.h"

namespace ui {

TForm::TForm(TApplication& owner) : FOwner(owner) {}

TForm::~TForm() { DestroyHostWindow(); }

HWND TForm::ReleaseHandle() { return DetachHostWindow(); }

void TForm::SetCaption(const base::AnsiString& caption) {
  FCaption = caption;
  if (HandleAllocated()) SetWindowTextA(HostHandle(), caption.c_str());
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
  TWindowParams params;
  CreateParams(params.Style, params.ExStyle);
  RECT r{0, 0, ClientWidth, ClientHeight};
  AdjustWindowRectEx(&r, params.Style, FALSE, params.ExStyle);
  params.Caption = FCaption.c_str();
  params.Left = Left;
  params.Top = Top;
  params.Width = r.right - r.left;
  params.Height = r.bottom - r.top;
  // The application window owns the form, as it owns every top-level form.
  params.Parent = FOwner.Handle();
  CreateHostWindow({ClassName(), 0, IDC_ARROW}, params);
}

HWND TForm::Handle() {
  if (!HandleAllocated()) CreateHandle();
  return HostHandle();
}

bool TForm::Visible() const { return HandleAllocated() && IsWindowVisible(HostHandle()); }

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
  if (HandleAllocated()) ShowWindow(HostHandle(), SW_HIDE);
}

void TForm::Close() {
  // The main form stays as it is until the application releases it: the loop ends and
  // the window goes with the form.
  if (FOwner.MainForm() == this)
    FOwner.Terminate();
  else
    Hide();
}

void TForm::SetMessageHandler(uint32_t msg, TMessageEvent handler) { FHandlers.Set(msg, handler); }

void TForm::Dispatch(TMessage& message) {
  if (!FHandlers.Dispatch(message)) DefaultHandler(message);
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

void TForm::HostException(const std::exception_ptr& e) { FOwner.HandleException(this, e); }

}  // namespace ui
