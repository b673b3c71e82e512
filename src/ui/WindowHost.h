// TWindowHost: what every window of the framework stands on (application window, forms,
// message windows, hint windows). It registers a window class the first time its name is
// used, binds the window to this object from WM_NCCREATE on (so the messages that
// CreateWindowEx itself sends arrive too), hands every message to HostMessage, and
// catches whatever that throws at the window procedure's boundary: the exception goes to
// HostException and the message returns 0; nothing is ever thrown through the system's
// frames. A window destroyed from outside (with its owner, say) lets go of its object at
// WM_NCDESTROY. The thread that created the window is the only one that may use it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <exception>
#include <unordered_map>

#include "ui/Messages.h"

namespace ui {

// How a host's window class is registered. Classes are registered once per name, with
// the first description that names them.
struct TWindowClass {
  const char* Name;
  UINT Style = 0;
  // The class cursor (a system cursor such as IDC_ARROW), or null for none.
  LPCSTR Cursor = nullptr;
};

// The position, size and styles of a window when it is made.
struct TWindowParams {
  DWORD ExStyle = 0;
  DWORD Style = 0;
  const char* Caption = "";
  int32_t Left = 0, Top = 0, Width = 0, Height = 0;
  // The owner of a top-level window, HWND_MESSAGE for a message-only one, or null.
  HWND Parent = nullptr;
};

class TWindowHost {
 public:
  TWindowHost() = default;
  // Destroys a window still bound; derived classes destroy theirs first
  // (DestroyHostWindow) when their messages need the derived part.
  virtual ~TWindowHost();
  TWindowHost(const TWindowHost&) = delete;
  TWindowHost& operator=(const TWindowHost&) = delete;

  // The window bound to this object, or null.
  HWND HostHandle() const { return FWindow; }

 protected:
  // Registers the class unless it exists and creates a window of it bound to this object.
  // Raises the system's error when either fails. One window per host at a time.
  void CreateHostWindow(const TWindowClass& windowClass, const TWindowParams& params);
  // Cuts the window off from this object and hands it to the caller; its messages go to
  // the default window procedure from now on. Null when there is none.
  HWND DetachHostWindow();
  // Cuts the window off, then destroys it (so none of its last messages reach us).
  void DestroyHostWindow();

  // One message for the window. Unhandled messages call DefaultHandler.
  virtual void HostMessage(TMessage& message) = 0;
  // An exception escaped HostMessage. By default it goes to the application's handler.
  virtual void HostException(const std::exception_ptr& e);
  // The default window procedure's answer to the message.
  void DefaultHandler(TMessage& message);

 private:
  static LRESULT CALLBACK WindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);

  HWND FWindow = nullptr;
};

// Routes messages by number to handlers (forms and message windows keep one).
class TMessageHandlers {
 public:
  // Routes one message number to a handler, replacing an earlier one; an empty handler
  // removes the route.
  void Set(uint32_t msg, TMessageEvent handler);
  // Runs the handler for the message; false when there is none.
  bool Dispatch(TMessage& message) const;

 private:
  std::unordered_map<uint32_t, TMessageEvent> FHandlers;
};

}  // namespace ui
