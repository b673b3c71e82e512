# Cross-compiles the same product as a 64-bit Windows build (x86_64 mingw-w64, posix
# thread model), for hosts whose kernel cannot run the 32-bit Wine loader.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
