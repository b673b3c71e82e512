// The tools the command-line table runs, each through a Run on wide arguments. The
// portable tools are always here; those built for Windows only add themselves from a
// source file the Windows build compiles.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace toolstest {

using TRun = int (*)(const std::vector<std::u16string>&, std::ostream&, std::ostream&);

// The tool's Run, or nullptr when this build has no such tool.
TRun FindTool(const std::string& name);

struct TAddTool {
  TAddTool(const char* name, TRun run);
};

}  // namespace toolstest
