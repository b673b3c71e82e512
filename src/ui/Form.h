// TForm: a top-level window built from design properties. The window handle is created
// on first use of Handle(); messages are dispatched by number to handlers registered with
// SetMessageHandler, everything else goes to the default window procedure. Exceptions
// escaping a handler are handed to the application's exception handler, never through
// the system's window procedure frames. GUI thread only.
#pragma once

#include <windows.h>

#include <string>

#include "base/Object.h"
#include "base/Strings.h"
#include "ui/Canvas.h"
#include "ui/Messages.h"
#include "ui/WindowHost.h"

namespace ui {

class TApplication;

enum class TFormBorderStyle { bsNone, bsSingle, bsSizeable };
enum class TPosition { poDesigned, poScreenCenter };

// The design font of a form. Not the canvas's TFont (ui/Font.h): one name for two types
// would break any unit that includes both.
struct TFormFont {
  base::AnsiString Name = "Tahoma";
  int32_t Height = -11;  // negative: character height in pixels
};

class TForm : public base::TObject, private TWindowHost {
 public:
  explicit TForm(TApplication& owner);
  // Releases the window. OnDestroy has run before (BeforeDestruction).
  ~TForm() override;

  // Design properties; they take effect when the window is created (the caption and
  // position also later).
  TFormBorderStyle BorderStyle = TFormBorderStyle::bsSizeable;
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t ClientWidth = 320;
  int32_t ClientHeight = 240;
  TColor Color = clBtnFace;
  TFormFont Font;
  TPosition Position = TPosition::poDesigned;
  bool ShowHint = false;
  void SetCaption(const base::AnsiString& caption);
  const base::AnsiString& Caption() const { return FCaption; }

  base::TNotifyEvent OnCreate;
  base::TNotifyEvent OnDestroy;

  // The window class name registered for this form ("TForm" unless a subclass names
  // its own).
  virtual const char* ClassName() const { return "TForm"; }

  HWND Handle();
  bool HandleAllocated() const { return HostHandle() != nullptr; }
  // Cuts the window off from this form and hands it to the caller, who destroys it or
  // leaves it to the end of the process; its messages go to the default window
  // procedure from now on. Null when there is no window.
  HWND ReleaseHandle();
  bool Visible() const;
  // Shows the window; the first show applies Position.
  void Show();
  void Hide();
  // Hides the form; closing the application's main form ends the message loop instead
  // (the window then goes when the application releases its forms).
  void Close();

  // Routes one message number to a handler (replacing an earlier one for that number).
  void SetMessageHandler(uint32_t msg, TMessageEvent handler);
  // Runs the handler registered for the message, or the default window procedure.
  void Dispatch(TMessage& message);
  LRESULT Perform(uint32_t msg, WPARAM wParam, LPARAM lParam);

  // Called by the application after construction and before release: run OnCreate and
  // OnDestroy. Overrides must call the base.
  virtual void AfterConstruction();
  virtual void BeforeDestruction();

 protected:
  virtual void CreateParams(DWORD& style, DWORD& exStyle);
  virtual void WndProc(TMessage& message);
  TApplication& Owner() { return FOwner; }

 private:
  void HostMessage(TMessage& message) override { WndProc(message); }
  void HostException(const std::exception_ptr& e) override;
  void CreateHandle();

  TApplication& FOwner;
  base::AnsiString FCaption;
  bool FShownOnce = false;
  TMessageHandlers FHandlers;
};

}  // namespace ui
