// TMessageWindow: a hidden message-only window that belongs to the thread that created
// it (the GUI thread). Background threads post to it; its handlers then run on that
// thread, inside the thread's message loop. The animator threads of the imaging library
// and of the skin engine each hand their notifications over through one of these.
// Messages without a handler go to the default window procedure; an exception escaping a
// handler goes to the application's exception handler, never through the system's
// window procedure frames.
#pragma once

#include <windows.h>

#include <cstdint>

#include "ui/WindowHost.h"

namespace ui {

class TMessageWindow : private TWindowHost {
 public:
  // Registers the window class on first use and creates the window on the calling
  // thread. Raises the system's error when either fails.
  explicit TMessageWindow(const char* className);
  // Destroys the window; messages still queued for it are dropped. Creating thread.
  ~TMessageWindow() override;

  HWND Handle() const { return HostHandle(); }
  // Routes one message number to a handler (an empty one removes it). Set the handlers
  // before anyone posts.
  void SetMessageHandler(uint32_t msg, TMessageEvent handler);
  // Any thread; never blocks. False when the message could not be queued.
  bool Post(uint32_t msg, WPARAM wParam, LPARAM lParam) const;

 private:
  void HostMessage(TMessage& message) override;

  TMessageHandlers FHandlers;
};

}  // namespace ui
