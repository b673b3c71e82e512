// The product's elevation helper. Callers load it with LoadLibraryA and look the export
// up by name; the launcher only resolves it and never calls it.
#pragma once

#include <windows.h>

#ifdef HOISTGATE_BUILD
#define HOISTGATE_API __declspec(dllexport)
#else
#define HOISTGATE_API __declspec(dllimport)
#endif

extern "C" {

// Starts a program as a child of the desktop shell (the process behind GetShellWindow),
// so that it runs with the shell's rights rather than those of an elevated caller. When
// no shell window exists or the shell cannot be opened as a parent, the program is
// started as a child of the caller instead.
//   applicationPath   the executable (required)
//   parameters        appended after the quoted path, may be null
//   currentDirectory  may be null (the caller's directory)
//   showCommand       SW_* for the program's first window
//   processInfo       receives the handles and ids; the caller closes both handles
// Returns TRUE on success; otherwise FALSE and GetLastError tells why.
typedef BOOL(WINAPI* TCreateProcessWithExplorer)(const wchar_t* applicationPath, const wchar_t* parameters,
                                                 const wchar_t* currentDirectory, int showCommand,
                                                 PROCESS_INFORMATION* processInfo);
__declspec(dllexport) BOOL WINAPI
    CreateProcessWithExplorer(const wchar_t* applicationPath, const wchar_t* parameters,
                              const wchar_t* currentDirectory, int showCommand, PROCESS_INFORMATION* processInfo);
}
