// The update check's fixed rules: where the update configuration is fetched, the time
// limit for its answer, and the version rule.
//
// The version rule for package versions ("major.minor.release.build"): an offered
// version is newer only when its first three numbers equal the installed ones and its
// fourth is greater; further numbers, where both versions have them, must also be
// greater. The installed version drives the comparison, so when it runs out after
// equal numbers the offer counts as newer (installed 2.1.0, offered 2.1.0.12).
#pragma once

#include <cstdint>
#include <string>

namespace launcher {

// The vendor's resource server; Orbelle.ini [System] UpdateHost (host[:port]) replaces it
// for staging and local servers.
constexpr const char* kVendorUpdateHost = "update.norvale.example";
constexpr const char* kUpdateConfigPath = "/resource/001/258/NVOrbelle_UpdateConfig.ini";
// Milliseconds within which the configuration must arrive for a package download.
constexpr uint32_t kConfigTimeLimitMs = 1000;

// "http://" + host + the configuration path; an empty host means the vendor's.
std::string UpdateConfigUrl(const std::string& updateHost);

// The number before the first '.' of s (all of s when there is none); s keeps the text
// after that dot (empty when there was none). False, with value 0, when that text is not
// decimal digits only (no sign, blank or hexadecimal form) with a value that fits 32 bits.
bool TakeVersionNumber(std::string& s, int& value);

// True when offered is newer than installed by the rule above. A malformed offer (a
// number that is not decimal, or fewer numbers than the installed version) never
// fails and never counts as newer, so the launcher stays on its way to the main program.
bool IsNewVision(const std::string& offered, const std::string& installed);

}  // namespace launcher
