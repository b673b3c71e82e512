#include "cli/Arguments.h"

#include "base/Strings.h"

namespace cli {

std::vector<std::u16string> WideArguments(int argc, char** argv) {
  std::vector<std::u16string> args;
  for (int i = 1; i < argc; ++i) {
    std::string a(argv[i]);
    std::u16string wide = base::Utf8ToWide(a);
    args.push_back(base::WideToUtf8(wide) == a ? wide : base::AnsiToWide(a));
  }
  return args;
}

std::vector<std::string> AnsiArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

std::string SystemText(const std::u16string& arg) { return base::WideToUtf8(arg); }

}  // namespace cli
