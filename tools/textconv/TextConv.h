// textconv: converts a text file from one code page to another, exactly or not at all.
//   textconv IN OUT [--from CP|auto] [--to CP] [--bom] [--replace]
// CP is a Windows code page number (65001, 1200, 1201, 12000, 1251, 932, ...). A byte
// order mark in IN decides its code page, as for every product read. Without one, a
// given --from names it; with auto (the default) text that is valid UTF-8 is UTF-8, text
// whose zero bytes show UTF-16 without a mark is UTF-16LE or UTF-16BE, and anything else
// is in the system's 8-bit code page. --to defaults to 65001; --bom writes the UTF-8
// mark (1200, 1201 and 12000 always get theirs).
//
// By default, input that cannot be converted exactly (a byte that is no character of its
// code page, a cut sequence, a lone surrogate, an odd trailing byte of UTF-16, a
// character the target lacks) stops the conversion with a message that names the byte
// offset in IN and the kind of problem; OUT is then left as it was (the converted text
// is written only once all of it converted). --replace writes U+FFFD (or the target's
// default character) instead and reports the count on standard error.
//
// Exit codes (cli/CommandLine.h): 0 converted; 1 not converted: input not convertible
// exactly, IN unreadable, OUT not writable, or a code page this host cannot convert, each
// with its own message; 2 wrong command line.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace textconv {

// args without the program name.
int Run(const std::vector<std::u16string>& args, std::ostream& out, std::ostream& err);

}  // namespace textconv
