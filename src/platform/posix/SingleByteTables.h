// The native build's own tables of single-byte code pages, where the C library's
// converter answers differently from Windows: one table, used by both the string
// conversions (CodePage) and the stream coders (TextCodec).
#pragma once

#include <cstdint>

namespace platform {

// Windows-1252 as Windows converts it: the five bytes the code page leaves unassigned
// (81, 8D, 8F, 90, 9D) stand for the C1 control code points of the same value.
char16_t Cp1252ToWide(uint8_t byte);
// The byte of a UTF-16 unit in Windows-1252, or -1 when it has none.
int WideToCp1252(char16_t unit);

}  // namespace platform
