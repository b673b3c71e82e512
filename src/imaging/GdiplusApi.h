// The system's GDI+ declarations in the order they need: gdiplus.h relies on the COM
// declarations that WIN32_LEAN_AND_MEAN leaves out of windows.h.
#pragma once

// clang-format off
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>
// clang-format on
