#include "ui/Application.h"

#include "base/ExceptionHandler.h"
#include "base/Exceptions.h"
#include "base/Thread.h"
#include "platform/Process.h"

namespace ui {
namespace {
constexpr char kAppClassName[] = "TApplication";
// Posted to the application window when a worker queued a Synchronize call.
constexpr UINT kWakeMessage = WM_NULL;
}  // namespace

TApplication& Application() {
  static TApplication app;
  return app;
}

TApplication::~TApplication() { ReleaseForms(true); }

void TApplication::ReleaseFormsForExit() { ReleaseForms(false); }

void TApplication::ReleaseForms(bool destroyWindows) {
  if (Handle()) {
    base::SetWakeMainThread({});
    base::SetApplicationExceptionHandler({});
  }
  while (!FForms.empty()) {
    std::unique_ptr<TForm> form = std::move(FForms.back());
    FForms.pop_back();
    if (form.get() == FMainForm) FMainForm = nullptr;
    try {
      form->BeforeDestruction();
    } catch (...) {
      HandleException(form.get(), std::current_exception());
    }
    if (!destroyWindows) form->ReleaseHandle();
  }
  FHintWindow.reset();  // hidden unless a hint shows: its window goes at once
  // Cut off first: a message that still comes (a worker's wake-up) finds no application.
  if (destroyWindows)
    DestroyHostWindow();
  else
    DetachHostWindow();
}

void TApplication::Initialize() {
  if (Handle()) return;
  // A hidden top-level window (not a message-only one) so that it can own the forms.
  TWindowParams params;
  params.Style = WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU;
  params.Caption = FTitle.c_str();
  CreateHostWindow({kAppClassName}, params);
  base::SetApplicationExceptionHandler({&TApplication::RuntimeException, this});
  base::SetWakeMainThread({&TApplication::WakeMainThread, this});
}

void TApplication::SetTitle(const base::AnsiString& title) {
  FTitle = title;
  if (Handle()) SetWindowTextA(Handle(), title.c_str());
}

base::WideString TApplication::ExeName() const { return platform::ModuleFileName(); }

void TApplication::Run() {
  if (!FMainForm) return;
  FMainForm->Show();
  while (!FTerminated) {
    MSG msg;
    if (!ProcessMessage(msg)) Idle();
  }
}

bool TApplication::ProcessMessage(MSG& msg) {
  if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
  if (msg.message == WM_QUIT) {
    FTerminated = true;
  } else {
    CheckHintMessage(msg);
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return true;
}

void TApplication::Idle() {
  try {
    base::CheckSynchronize();
  } catch (...) {
    HandleException(this, std::current_exception());
  }
  // Sleeps until a message arrives; a queued Synchronize call posts one.
  if (!FTerminated) WaitMessage();
}

void TApplication::ProcessMessages() {
  MSG msg;
  while (ProcessMessage(msg)) {
  }
  try {
    base::CheckSynchronize();
  } catch (...) {
    HandleException(this, std::current_exception());
  }
}

void TApplication::SetHintWindowClass(THintWindowClass hintClass) {
  if (hintClass == FHintWindowClass) return;
  FHintWindowClass = hintClass ? hintClass : &DefaultHintWindowClass;
  FHintWindow.reset();
}

void TApplication::ActivateHint(POINT point, const base::AnsiString& text) {
  if (text.empty()) {
    CancelHint();
    return;
  }
  if (!FHintWindow) FHintWindow = FHintWindowClass();
  // Wrapped at the screen's width; the top left corner two thirds of a cursor below the
  // point, clear of the arrow.
  RECT r = FHintWindow->CalcHintRect(GetSystemMetrics(SM_CXSCREEN), text);
  OffsetRect(&r, point.x, point.y + GetSystemMetrics(SM_CYCURSOR) * 2 / 3);
  FHintWindow->ActivateHint(r, text);
}

void TApplication::CancelHint() {
  if (FHintWindow) FHintWindow->Hide();
}

void TApplication::CheckHintMessage(const MSG& msg) {
  if (!FHintWindow || !FHintWindow->Visible()) return;
  try {
    if (FHintWindow->IsHintMsg(msg)) CancelHint();
  } catch (...) {
    HandleException(FHintWindow.get(), std::current_exception());
  }
}

void TApplication::Terminate() {
  if (FTerminated) return;
  PostQuitMessage(0);
}

void TApplication::HandleException(base::TObject* sender, const std::exception_ptr& e) {
  if (OnException) {
    OnException(sender, e);
    return;
  }
  platform::DebugOutput("Exception: " + base::ExceptionMessage(e));
}

void TApplication::WakeMainThread(void* context, base::TObject*) {
  // Any thread: only post, the main thread does the work.
  auto* app = static_cast<TApplication*>(context);
  PostMessageA(app->Handle(), kWakeMessage, 0, 0);
}

void TApplication::RuntimeException(void* context, base::TObject* sender, const std::exception_ptr& e) {
  static_cast<TApplication*>(context)->HandleException(sender, e);
}

void TApplication::HostMessage(TMessage& message) {
  if (message.Msg == kWakeMessage)
    base::CheckSynchronize();  // what it throws goes to HostException
  else
    DefaultHandler(message);
}

void TApplication::HostException(const std::exception_ptr& e) { HandleException(this, e); }

}  // namespace ui
