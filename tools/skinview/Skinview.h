// skinview SKINFOLDER OUT.png [--item NAME] [--size WxH] [--dpi N]: loads a skin folder
// through the skin engine, reports every problem it finds (description files that are
// missing, malformed or hold an invalid colour; image files that are missing or
// unreadable; state and slice rectangles outside their images; image states without an
// image) and draws every item's states and slices into one PNG sheet: each at its own
// size, at WxH (default 48x32) and squeezed to half its size, over a checkerboard so
// that alpha shows. Each row's label (item / part / state, or item / slice) stands in a
// white column on its left, so the sheet explains itself; the same legend, with the rows'
// positions, goes to the standard output. The sheet is the same for the same skin on
// every run.
//
// Description files: "Controls" first, then every other .xml file of the folder.
// --dpi scales the skin's scaled lengths as a screen of N pixels per inch would (96).
//
// Exit codes (cli/CommandLine.h): 0 sheet written, no problem; 1 problems reported (the
// sheet is still written when it can be) or the sheet could not be written; 2 wrong
// command line.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "cli/CommandLine.h"

namespace skinview {

using cli::kExitOk;
using cli::kExitUsage;
constexpr int kExitProblems = cli::kExitFailed;

// args without the program name. GDI+ and the picture formats are started for the run.
int Run(const std::vector<std::u16string>& args, std::ostream& out, std::ostream& err);

}  // namespace skinview
