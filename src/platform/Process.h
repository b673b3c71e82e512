// Facts about the running process: its module path and debug output.
#pragma once

#include <string>

namespace platform {

// Full path of the running executable (UTF-16).
std::u16string ModuleFileName();
// Writes a line to the system debugger output (OutputDebugString). Natively the line
// goes to standard error when ORBELLE_DEBUG_OUTPUT is set, else nowhere.
void DebugOutput(const std::string& text);
// A process environment variable, empty when unset.
std::string GetEnv(const char* name);
// Standard output passes bytes unchanged (no LF to CR LF translation on Windows).
void SetStdOutBinary();

}  // namespace platform
