// A window message as the framework hands it to handlers: number, parameters and the
// result the window procedure returns.
#pragma once

#include <windows.h>

#include <cstdint>

#include "base/Object.h"

namespace ui {

struct TMessage {
  uint32_t Msg;
  WPARAM WParam;
  LPARAM LParam;
  LRESULT Result;
};

// A handler for one message number. It sets Result when the message needs one.
using TMessageEvent = base::TClosure<TMessage&>;

}  // namespace ui
