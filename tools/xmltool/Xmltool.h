// xmltool: the product's XML parser, writer and path subset on the command line.
//   xmltool check FILE [--strict]      exit 0, or 1 with "line:column: message"
//   xmltool format FILE [--compact|--indent|--ugly] [--encoding NAME] [--strict]
//                                      the document as the writer writes it, to out
//   xmltool query FILE XPATH           one matched node a line: an element as XML, an
//                                      attribute or text as its value (UTF-8)
// --strict reads with XML 1.0 well-formedness (internal DTD subset and entities included);
// without it the product's lenient reader takes what it can. FILE may be a pipe.
//
// Exit codes (cli/CommandLine.h): 0 success; 1 the file cannot be read or does not parse,
// or query matched nothing; 2 wrong command line (an unknown encoding included).
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace xmltool {

// args without the program name. Documents go to out as bytes: give it a binary stream.
int Run(const std::vector<std::u16string>& args, std::ostream& out, std::ostream& err);

}  // namespace xmltool
