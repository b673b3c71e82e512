// The program's arguments (after its name) as the system gives them. On Windows they are
// read from the UTF-16 command line, so that any file name arrives intact; natively they
// are argv's bytes, read as UTF-8 (an argument that is not UTF-8 as the 8-bit code page).
#pragma once

#include <string>
#include <vector>

namespace cli {

// For tools whose files go through wide names.
std::vector<std::u16string> WideArguments(int argc, char** argv);

// For tools whose files go through the product's 8-bit names: the system code page on
// Windows (characters it lacks become its default character), argv's bytes unchanged
// natively.
std::vector<std::string> AnsiArguments(int argc, char** argv);

// One wide argument as 8-bit text the way a program receives it in argv: the system code
// page on Windows, UTF-8 natively. For values that are not file names (URLs, form data).
std::string SystemText(const std::u16string& arg);

}  // namespace cli
