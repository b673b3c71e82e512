// A tool's main in one line: its Run on the program's arguments (wide or 8-bit, as its
// Run takes them; see Arguments.h) with standard output and error. An exception that
// escapes Run is reported as "tool: message" on standard error with kExitFailed.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

using TWideRun = int (*)(const std::vector<std::u16string>&, std::ostream&, std::ostream&);
using TAnsiRun = int (*)(const std::vector<std::string>&, std::ostream&, std::ostream&);

int ToolMain(int argc, char** argv, std::string_view tool, TWideRun run);
int ToolMain(int argc, char** argv, std::string_view tool, TAnsiRun run);

}  // namespace cli
