// The update check's fixed rules: where the update configuration is fetched, the time
// limit for its answer, the version rule and the staged rollout.
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

// The vendor's resource server; Orbelle.ini [System] UpdateHost ([https://]host[:port]) replaces it
// for staging and local servers.
constexpr const char* kVendorUpdateHost = "update.norvale.example";
constexpr const char* kUpdateConfigPath = "/resource/001/258/NVOrbelle_UpdateConfig.ini";
// Milliseconds within which the configuration must arrive for a package download.
constexpr uint32_t kConfigTimeLimitMs = 1000;

// The public keys built into the launcher (CMake cache variable ORBELLE_UPDATE_PUBLIC_KEYS:
// base64 keys separated by commas; empty by default).
extern const char* const kBuiltInUpdatePublicKeys;

// The keys whose signature an update offer needs: the built-in ones and those of
// Orbelle.ini [System] UpdatePublicKey (one or two, comma-separated, so that a key can be
// rotated), as one comma-separated list. Empty when neither names a key: offers are then
// taken unverified.
std::string UpdatePublicKeys(const std::string& builtIn, const std::string& configured);

// "http://" + host + the configuration path; an empty host means the vendor's. A host
// written "https://host[:port]" (or "http://host[:port]") keeps its scheme, so the
// configuration is then fetched over TLS with the same checks as packages: the
// server's certificate and name against the system's CAs and UpdateCAFile.
std::string UpdateConfigUrl(const std::string& updateHost);

// The number before the first '.' of s (all of s when there is none); s keeps the text
// after that dot (empty when there was none). False, with value 0, when that text is not
// decimal digits only (no sign, blank or hexadecimal form) with a value that fits 32 bits.
bool TakeVersionNumber(std::string& s, int& value);

// True when offered is newer than installed by the rule above. A malformed offer (a
// number that is not decimal, or fewer numbers than the installed version) never
// fails and never counts as newer, so the launcher stays on its way to the main program.
bool IsNewVision(const std::string& offered, const std::string& installed);

// Staged rollout. Each installation keeps a bucket from 0 to 99, drawn once at random
// and kept in Orbelle.ini ([System] RolloutBucket); an offer signed with RolloutPercent p
// is taken by the installations whose bucket is below p. 0 reaches none and 100 all, and
// raising p only adds installations: those that took a release at 10 % are among those
// that take it at 30 %, and the same ones take it at every start.
constexpr int kRolloutBuckets = 100;

// A kept bucket: decimal digits of a number from 0 to 99, nothing else.
bool ParseRolloutBucket(const std::string& text, int& bucket);

// This installation's bucket: the kept one, or when none is kept (or it was spoilt) one
// drawn from random, and then drawn is true: the caller keeps it.
int RolloutBucket(const std::string& kept, uint32_t random, bool& drawn);

// Whether an installation in bucket takes an offer of percent (0 to 100).
inline bool InRollout(int bucket, int64_t percent) { return bucket < percent; }

// A release on trial. After an update the replaced files are kept until the new version
// has started healthily once: its main program still runs healthySeconds after it was
// started, or it ended with code 0. A main program that could not be started, or that
// ended earlier with any other code (a crash included), failed the start.
enum class TStartHealth {
  shPending,  // still running, not yet for healthySeconds
  shHealthy,
  shFailed,
};
TStartHealth JudgeStart(bool started, bool exited, uint32_t exitCode, uint32_t elapsedMs, int64_t healthySeconds);

// The versions rolled back after a failed start (Orbelle.ini [System] BadVisions, comma-
// separated): an offer of one of them is not taken again; a newer one is. Versions are
// the same when their numbers are (2.1.0.12 and 2.1.0.012); text that is no version
// only matches itself. The newest kMaxBadVisions are kept.
constexpr size_t kMaxBadVisions = 16;
bool IsBadVision(const std::string& badVisions, const std::string& version);
// The list with version added (once) at its end.
std::string AddBadVision(const std::string& badVisions, const std::string& version);

}  // namespace launcher
