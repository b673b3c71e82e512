// TApplication: the process's one application object. It owns the forms, runs the
// message loop until the main form closes, processes pending messages on request, routes
// exceptions nobody else can take to one handler, wakes the message loop when a worker
// thread queues a Synchronize call (the call then runs on this thread), and shows the
// one hint window, which the loop hides when a message ends the hint.
// Everything here belongs to the thread that called Initialize.
#pragma once

#include <windows.h>

#include <exception>
#include <memory>
#include <utility>
#include <vector>

#include "base/Object.h"
#include "base/Strings.h"
#include "ui/Form.h"
#include "ui/HintWindow.h"
#include "ui/WindowHost.h"

namespace ui {

using TExceptionEvent = base::TClosure<base::TObject* /*sender*/, const std::exception_ptr&>;

class TApplication : public base::TObject, private TWindowHost {
 public:
  TApplication() = default;
  // Releases the forms in reverse order of creation (OnDestroy first), then the
  // application window; removes the hooks Initialize installed.
  ~TApplication() override;
  // The same at the end of the process, except that the windows are not destroyed: they
  // are cut off from their released forms and left to the system, which removes a
  // process's windows when it ends. Destroying a shown window hides it first, and under
  // Wine on an X display without a window manager every hide of a window that was once
  // active waits 2 s for a confirmation that never comes. Call after the loop has ended.
  void ReleaseFormsForExit();

  // Creates the hidden application window and installs the exception handler and the
  // synchronisation wake-up. Call once, on the thread that will run the message loop.
  void Initialize();

  // Creates a form owned by the application; the first one becomes the main form.
  // The form's constructor runs, then its OnCreate (AfterConstruction).
  template <class T, class... A>
  T* CreateForm(A&&... args) {
    auto form = std::make_unique<T>(*this, std::forward<A>(args)...);
    T* result = form.get();
    FForms.push_back(std::move(form));
    if (!FMainForm) FMainForm = result;
    result->AfterConstruction();
    return result;
  }

  // Shows the main form and dispatches messages until Terminate or WM_QUIT. Returns at
  // once when there is no main form.
  void Run();
  // Dispatches every message waiting for this thread and runs pending Synchronize
  // calls, then returns. A WM_QUIT among them terminates the application.
  void ProcessMessages();
  // Ends the message loop (posts WM_QUIT).
  void Terminate();
  bool Terminated() const { return FTerminated; }

  TForm* MainForm() const { return FMainForm; }
  HWND Handle() const { return HostHandle(); }
  void SetTitle(const base::AnsiString& title);
  const base::AnsiString& Title() const { return FTitle; }
  // Full path of the executable (UTF-16).
  base::WideString ExeName() const;

  // The class the hint window is made of (the framework's own until a unit installs
  // another). A hint window of the previous class is released.
  void SetHintWindowClass(THintWindowClass hintClass);
  THintWindowClass HintWindowClass() const { return FHintWindowClass; }
  // Shows text as a hint below a point on the screen (the cursor's position, usually),
  // sized for the text and activated through the hint window, which is created on
  // demand. An empty text hides the hint.
  void ActivateHint(POINT point, const base::AnsiString& text);
  // Hides the hint window.
  void CancelHint();
  // The hint window, or null while none was needed.
  THintWindow* HintWindow() const { return FHintWindow.get(); }

  // Called for exceptions that escaped a window message or reached the runtime's
  // application handler. Unset: the message goes to the debugger output.
  TExceptionEvent OnException;
  void HandleException(base::TObject* sender, const std::exception_ptr& e);

 private:
  // The application window runs the Synchronize calls a worker woke it for.
  void HostMessage(TMessage& message) override;
  void HostException(const std::exception_ptr& e) override;
  static void WakeMainThread(void* context, base::TObject* sender);
  static void RuntimeException(void* context, base::TObject* sender, const std::exception_ptr& e);
  bool ProcessMessage(MSG& msg);
  // Hides the hint when the message ends it.
  void CheckHintMessage(const MSG& msg);
  void Idle();
  // Releases the forms newest first and the application window; destroys the windows
  // or leaves them to the end of the process.
  void ReleaseForms(bool destroyWindows);

  base::AnsiString FTitle;
  bool FTerminated = false;
  TForm* FMainForm = nullptr;
  std::vector<std::unique_ptr<TForm>> FForms;
  THintWindowClass FHintWindowClass = &DefaultHintWindowClass;
  std::unique_ptr<THintWindow> FHintWindow;
};

// The process-wide application object (created on first use).
TApplication& Application();

}  // namespace ui
