// THintWindow: the application's hint (tooltip) window. A topmost popup with a thin
// border that shows its caption in the system's info-tip colours and status font, never
// takes the focus and lets the mouse through to what lies beneath. The application
// creates one on demand through its hint window class, shows it with ActivateHint and
// hides it when IsHintMsg says that a message it is about to dispatch ends the hint.
// Subclasses change how the hint sizes, places and shows itself (ActivateHint,
// TextChanged), which messages end it (IsHintMsg) and how it looks (Paint). GUI thread.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

#include "base/Object.h"
#include "base/Strings.h"
#include "ui/GdiHandles.h"
#include "ui/Messages.h"
#include "ui/WindowHost.h"

namespace ui {

class THintWindow : public base::TObject, private TWindowHost {
 public:
  THintWindow();
  // Destroys the window and the font.
  ~THintWindow() override;

  // The window class name ("THintWindow" unless a subclass names its own).
  virtual const char* ClassName() const { return "THintWindow"; }

  // Created on first use, top-level with the desktop as its parent (no owner), hidden.
  HWND Handle();
  bool HandleAllocated() const { return HostHandle() != nullptr; }
  bool Visible() const;
  void Hide();
  // Repaints the whole window.
  void Invalidate();

  const base::AnsiString& Caption() const { return FCaption; }
  // Stores the text and, when it differs, calls TextChanged.
  void SetCaption(const base::AnsiString& caption);

  // Screen position and outer size; a window that exists moves at once.
  int32_t Left() const { return FLeft; }
  int32_t Top() const { return FTop; }
  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  void SetBounds(int32_t left, int32_t top, int32_t width, int32_t height);
  void SetWidth(int32_t width) { SetBounds(FLeft, FTop, width, FHeight); }
  void SetHeight(int32_t height) { SetBounds(FLeft, FTop, FWidth, height); }

  // The font the window draws with: the system's status font.
  HFONT Font() const { return FFont.Get(); }
  // The size of one line of text in that font.
  SIZE TextExtent(const base::AnsiString& text) const;

  // The rectangle (at 0, 0) the text needs when its lines wrap at maxWidth pixels.
  virtual RECT CalcHintRect(int32_t maxWidth, const base::AnsiString& text);
  // Shows the text in the rectangle (screen coordinates): topmost, not activated.
  virtual void ActivateHint(const RECT& rect, const base::AnsiString& text);
  // Whether a message that is about to be dispatched ends the hint: key messages, mouse
  // buttons and the wheel, commands, and the mouse moving over any window's frame.
  virtual bool IsHintMsg(const MSG& msg);

 protected:
  // The caption changed: repaints. Subclasses that size themselves by their text run
  // this first.
  virtual void TextChanged();
  // Draws the window: the background and the caption. The client rectangle starts at
  // (0, 0).
  virtual void Paint(HDC dc, const RECT& client);
  virtual void WndProc(TMessage& message);

 private:
  void HostMessage(TMessage& message) override { WndProc(message); }
  void HostException(const std::exception_ptr& e) override;
  void CreateHandle();

  TOwnedFont FFont;
  base::AnsiString FCaption;
  int32_t FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
};

// Makes the application's hint window; units install their own class at start-up.
using THintWindowClass = std::unique_ptr<THintWindow> (*)();
std::unique_ptr<THintWindow> DefaultHintWindowClass();

}  // namespace ui
