// The launcher's side of diagnostic logging: picks a free file name in the Log folder
// beside the program and hands it to VT_Log.dll, then routes base::WriteLog to it.
#pragma once

#include "base/Strings.h"

namespace launcher {

// Program directory + "Log" (no trailing backslash).
base::WideString LogFolder();
// True when the file exists, is not a folder, and cannot be opened for reading with
// read sharing (someone holds it for writing).
bool IsLogFileInUse(const base::WideString& path);
// The log's cap: a start writes a few dozen lines, but whatever an untrusted package or
// server makes the launcher log must not fill the disk. Past it the library keeps one
// previous file (Log.txt.old) and starts anew.
constexpr int kLogMaxSizeKB = 2048;

// Chooses the file name, calls VTLogInit(name, -1, kLogMaxSizeKB, 0) and installs the
// WriteLog sink. The first thing the program does. Returns the chosen name.
base::AnsiString InitLog();
// The three banner lines through VTOutput.
void WriteStartBanner();

}  // namespace launcher
