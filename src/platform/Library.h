// Dynamic libraries: LoadLibraryA/GetProcAddress on Windows, dlopen/dlsym natively.
#pragma once

#include <string>

namespace platform {

using LibraryHandle = void*;

// nullptr when the library cannot be loaded.
LibraryHandle LoadLibrary(const std::string& name);
void* GetProcAddress(LibraryHandle lib, const char* name);
void FreeLibrary(LibraryHandle lib);

}  // namespace platform
