// vtzip: the vendor's tool for making and checking update packages. The commands run
// in-process through Run so that tests drive them exactly as the command line does.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace vtzip {

constexpr int kExitOk = 0;
constexpr int kExitProblems = 1;  // the package or a file has problems, or an operation failed
constexpr int kExitUsage = 2;     // the command line is wrong

// Runs one command line (the arguments after the program name; paths are 8-bit, as the
// program receives them) and returns the exit code. Results go to out, errors to err;
// names from packages are written in UTF-8.
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace vtzip
