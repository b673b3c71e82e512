// Which index names the extractor writes. A package is untrusted network input that is
// unpacked into the program directory, so a name must stay below the target directory
// on every platform: a relative path of ordinary backslash-separated parts.
#pragma once

#include <string>
#include <string_view>

namespace package {

// Longest index name accepted (bytes); far beyond what Windows can create below any
// program directory, it only keeps logs and reports bounded.
constexpr size_t kMaxNameLength = 1024;

// Empty when name is a safe relative path, else why it is refused. Refused are: empty
// names and names over kMaxNameLength; a leading '\' or '/' (absolute, UNC "\\server",
// "\\?\" and "\\.\" prefixes); any ':' (drive letters, "C:name", alternate data streams);
// control characters and < > " ? * |; empty parts ("a\\b", a trailing separator); "."
// and ".." parts; parts ending in a dot or space (Windows strips those, so the name
// written would differ from the name checked); device names (CON, PRN, AUX, NUL,
// COM0-9, LPT0-9 with the superscript digits, CONIN$, CONOUT$, CLOCK$) with or without
// an extension; parts over 255 characters. Both '\' and '/' separate parts. The rules
// run on the 8-bit bytes (what the native file system sees) and again on the UTF-16
// form in the system code page (what Windows sees, where a double-byte character may
// hide a 0x5C byte).
std::string CheckEntryName(std::string_view name);

// The name (or path, or message) made printable for logs and reports: control
// characters become '?', and text over 2048 bytes is cut with "...".
std::string PrintableName(std::string_view name);

}  // namespace package
