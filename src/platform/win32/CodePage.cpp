#include "platform/CodePage.h"

#include <windows.h>

namespace platform {

uint32_t AnsiCodePage() { return GetACP(); }

bool IsValidCodePage(uint32_t codePage) { return codePage == kCodePageAnsi || ::IsValidCodePage(codePage) != FALSE; }

std::u16string MultiByteToWide(std::string_view text, uint32_t codePage, bool* ok) {
  if (ok) *ok = true;
  if (text.empty()) return {};
  int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) {
    if (ok) *ok = false;
    return {};
  }
  std::u16string out(static_cast<size_t>(n), u'\0');
  MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), reinterpret_cast<wchar_t*>(out.data()),
                      n);
  return out;
}

std::string WideToMultiByte(std::u16string_view text, uint32_t codePage, bool* ok) {
  if (ok) *ok = true;
  if (text.empty()) return {};
  auto src = reinterpret_cast<const wchar_t*>(text.data());
  int n = WideCharToMultiByte(codePage, 0, src, static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  if (n <= 0) {
    if (ok) *ok = false;
    return {};
  }
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(codePage, 0, src, static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace platform
