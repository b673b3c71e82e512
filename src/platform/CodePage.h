// Code-page conversion between 8-bit text and UTF-16.
// On Windows this is MultiByteToWideChar/WideCharToMultiByte. The native build knows the
// code pages the portable core needs (UTF-8, Windows-1252, ISO-8859-1, US-ASCII) and
// takes Windows-1252 as its "system" code page, as a Western Windows does.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

constexpr uint32_t kCodePageAnsi = 0;  // the system's 8-bit code page (CP_ACP)
constexpr uint32_t kCodePageUtf8 = 65001;

// The number of the system's 8-bit code page (1252 natively).
uint32_t AnsiCodePage();

// True when the code page can be converted on this platform.
bool IsValidCodePage(uint32_t codePage);

// Converts; characters that have no mapping become '?' (to 8 bits) or U+FFFD (to UTF-16).
// An unknown code page gives an empty result and false in *ok when ok is given.
std::u16string MultiByteToWide(std::string_view text, uint32_t codePage, bool* ok = nullptr);
std::string WideToMultiByte(std::u16string_view text, uint32_t codePage, bool* ok = nullptr);

}  // namespace platform
