// The update rule for package versions ("major.minor.release.build"): an offered
// version is newer only when its first three numbers equal the installed ones and its
// fourth is greater; further numbers, where both versions have them, must also be
// greater. The installed version drives the comparison, so when it runs out after
// equal numbers the offer counts as newer (installed 2.1.0, offered 2.1.0.12).
#pragma once

#include <string>

namespace launcher {

// The number before the first '.' of s (all of s when there is none); s keeps the text
// after that dot (empty when there was none). False, with value 0, when that text is not
// a signed decimal integer that fits 32 bits.
bool TakeVersionNumber(std::string& s, int& value);

// True when offered is newer than installed by the rule above. A malformed offer (a
// number that is not decimal, or fewer numbers than the installed version) never
// fails and never counts as newer, so the launcher stays on its way to the main program.
bool IsNewVision(const std::string& offered, const std::string& installed);

}  // namespace launcher
