// The last operating-system error of the calling thread and its text.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

uint32_t LastError();
void SetLastError(uint32_t code);
// The system's message for an error code, without a trailing line break or period
// removed (the text as the system gives it, trimmed of line breaks).
std::string SysErrorMessage(uint32_t code);

}  // namespace platform
