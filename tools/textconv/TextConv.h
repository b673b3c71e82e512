// textconv: converts a text file from one code page to another through the product's
// encoded text stream.
//   textconv IN OUT [--from CP|auto] [--to CP] [--bom]
// CP is a Windows code page number (65001, 1200, 12000, 1251, 932, ...). With auto (the
// default) a byte order mark decides as the product's read access does, and text without
// one is taken in the system's 8-bit code page; a given --from is the code page of text
// without a mark (a mark still decides, as for every product read). --to defaults to
// 65001; --bom writes the UTF-8 mark (1200 and 12000 always get theirs).
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace textconv {

// Exit codes.
constexpr int kOk = 0;
constexpr int kUsage = 1;          // bad arguments
constexpr int kCannotRead = 2;     // input missing or unreadable
constexpr int kCannotWrite = 3;    // output cannot be created or written
constexpr int kCannotConvert = 4;  // a code page this host cannot convert

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace textconv
