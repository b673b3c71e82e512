#include "ui/MessageWindow.h"

namespace ui {

TMessageWindow::TMessageWindow(const char* className) {
  TWindowParams params;
  params.Parent = HWND_MESSAGE;
  CreateHostWindow({className}, params);
}

TMessageWindow::~TMessageWindow() { DestroyHostWindow(); }

void TMessageWindow::SetMessageHandler(uint32_t msg, TMessageEvent handler) { FHandlers.Set(msg, handler); }

bool TMessageWindow::Post(uint32_t msg, WPARAM wParam, LPARAM lParam) const {
  return PostMessageA(Handle(), msg, wParam, lParam) != FALSE;
}

void TMessageWindow::HostMessage(TMessage& message) {
  if (!FHandlers.Dispatch(message)) DefaultHandler(message);
}

}  // namespace ui
