// The product's logging library: UTF-16 lines appended to a file in the "Log" folder
// beside the host executable. All three functions are stdcall, take NUL-terminated
// UTF-16 text, return nothing and may be called from any thread.
#pragma once

#include <windows.h>

#ifdef VT_LOG_BUILD
#define VT_LOG_API __declspec(dllexport)
#else
#define VT_LOG_API __declspec(dllimport)
#endif

extern "C" {

// Selects the log file: fileName is a bare name ("Log.txt") inside the Log folder of the
// host executable's directory; the folder is created when missing. The file is opened
// for appending and stays open (shared for reading only) until the next VTLogInit or the
// unload of the library, so other processes see it in use. A positive maxSizeKB caps the
// file: a line that would take it past that many KiB first renames it to the one
// previous file, <name>.old (an older one is replaced; the file is copied there when a
// reader stops the rename), and starts it anew, so the log never holds much more than
// twice the cap; 0 or less always appends, without limit.
// level and flags are taken for the product's other callers and not interpreted here:
// every line is written.
VT_LOG_API void WINAPI VTLogInit(const wchar_t* fileName, int level, int maxSizeKB, int flags);
// Writes one line: local time stamp, thread id, the text. Before the first VTLogInit
// lines go to Log.txt in the Log folder.
VT_LOG_API void WINAPI VTLog(const wchar_t* text);
// Writes one line like VTLog and also sends the text to the debugger output.
VT_LOG_API void WINAPI VTOutput(const wchar_t* text);
}
