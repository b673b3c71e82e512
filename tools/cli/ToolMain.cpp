#include "cli/ToolMain.h"

#include <exception>
#include <iostream>

#include "cli/Arguments.h"
#include "cli/CommandLine.h"

namespace cli {
namespace {

template <class S>
int RunGuarded(std::string_view tool, const std::vector<S>& args,
               int (*run)(const std::vector<S>&, std::ostream&, std::ostream&)) {
  try {
    return run(args, std::cout, std::cerr);
  } catch (const std::exception& e) {
    std::cerr << tool << ": " << e.what() << "\n";
    return kExitFailed;
  }
}

}  // namespace

int ToolMain(int argc, char** argv, std::string_view tool, TWideRun run) {
  return RunGuarded(tool, WideArguments(argc, argv), run);
}

int ToolMain(int argc, char** argv, std::string_view tool, TAnsiRun run) {
  return RunGuarded(tool, AnsiArguments(argc, argv), run);
}

}  // namespace cli
