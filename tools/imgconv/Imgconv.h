// imgconv IN OUT [--colors N] [--quality Q]: converts any picture GDI+ reads into PNG,
// JPEG, GIF or TIFF, chosen by OUT's extension, through the product's picture classes.
// GIF output is reduced to N colours (default 255) by the octree quantizer; JPEG output
// is encoded with quality Q (default 90).
//
// Exit codes: 0 converted; 1 the input could not be read or the output not written;
// 2 the command line is wrong (unknown option, bad number, unknown output type).
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace imgconv {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// args without the program name. GDI+ and the picture formats must be started.
int Run(const std::vector<std::u16string>& args, std::ostream& out, std::ostream& err);

}  // namespace imgconv
