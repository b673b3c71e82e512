// The system's GDI+ declarations in the order they need: gdiplus.h relies on the COM
// declarations that WIN32_LEAN_AND_MEAN leaves out of windows.h.
#pragma once

// clang-format off
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>
// clang-format on

namespace imaging {
// The "no format" identifier; the import library leaves it out.
inline constexpr GUID ImageFormatUndefined = {
    0xb96b3ca9, 0x0728, 0x11d3, {0x9d, 0x7b, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
}  // namespace imaging
