// imgconv IN OUT [--colors N] [--quality Q]: converts any picture GDI+ reads into PNG,
// JPEG, GIF or TIFF, chosen by OUT's extension, through the product's picture classes.
// GIF output is reduced to N colours (default 255) by the octree quantizer; JPEG output
// is encoded with quality Q (default 90).
//
// Exit codes (cli/CommandLine.h): 0 converted; 1 the input could not be read or the
// output not written (no part of it is left); 2 the command line is wrong (unknown
// option, bad number, unknown output type).
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "cli/CommandLine.h"

namespace imgconv {

using cli::kExitFailed;
using cli::kExitOk;
using cli::kExitUsage;

// args without the program name. GDI+ and the picture formats are started for the run.
int Run(const std::vector<std::u16string>& args, std::ostream& out, std::ostream& err);

}  // namespace imgconv
