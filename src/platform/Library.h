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

namespace platform {

// The file to load for one of the product's own libraries, given its stem ("SSL"):
// "SSL.dll" on Windows, found by the system's search order (the program's folder
// first); natively "libSSL.so" in the folder of the running executable.
std::string ProductLibraryName(const std::string& stem);

}  // namespace platform
