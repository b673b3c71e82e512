// vtzip: the vendor's tool for making and checking update packages. The commands run
// in-process through Run so that tests drive them exactly as the command line does.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "cli/CommandLine.h"

namespace vtzip {

constexpr int kExitOk = cli::kExitOk;
constexpr int kExitProblems = cli::kExitFailed;  // the package or a file has problems, or an operation failed
constexpr int kExitUsage = cli::kExitUsage;      // the command line is wrong

// Runs one command line (the arguments after the program name) and returns the exit
// code. Paths are 8-bit, as the packages' names are: the system code page on Windows,
// bytes natively. Results go to out, errors to err; names from packages are written in
// UTF-8.
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace vtzip
