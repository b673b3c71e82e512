#include "cli/Arguments.h"

// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

#include "base/Strings.h"

namespace cli {

// argv is the C runtime's copy in the system code page, which loses every character the
// code page lacks; the command line the system keeps is UTF-16.
std::vector<std::u16string> WideArguments(int, char**) {
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::u16string> args;
  for (int i = 1; argv && i < count; ++i) args.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
  LocalFree(argv);
  return args;
}

std::vector<std::string> AnsiArguments(int argc, char** argv) {
  std::vector<std::string> args;
  for (const std::u16string& a : WideArguments(argc, argv)) args.push_back(base::WideToAnsi(a));
  return args;
}

std::string SystemText(const std::u16string& arg) { return base::WideToAnsi(arg); }

}  // namespace cli
