// httpget: downloads one URL to a file with the product's own HTTP client, so vendors
// can check an update server the way the launcher sees it, and benchmarks can measure
// the client. Prints status, bytes and time.
//   httpget URL FILE [--post DATA] [--if-modified-since DATE] [--proxy URL]
//           [--proxy-user USER:PASSWORD] [--timeout MS] [--repeat N] [--receive-buffer BYTES]
//           [--quiet]
//
// Exit codes (cli/CommandLine.h): 0 the download completed; 1 the request failed or FILE
// cannot be written; 2 wrong command line.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace httpget {

// args without the program name; URL and form data as the system's 8-bit text
// (cli::SystemText), FILE by its wide name.
int Run(const std::vector<std::u16string>& args, std::ostream& out, std::ostream& err);

}  // namespace httpget
