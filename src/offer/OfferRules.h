// The launcher's rules for a signed update offer, when at least one public key is
// configured: the configuration must carry a valid signature by one of the keys; its
// Serial must not be lower than the highest serial accepted before (an old offer replayed
// cannot roll the program back); its Expires day must not have passed (an outdated offer
// cannot be served for ever); and the downloaded package must have the signed size and
// SHA-256 before anything of it is staged. Each check gives the cause of a refusal as one
// line of text, empty when the offer passes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "offer/SignedConfig.h"

namespace base {
class TStream;
}

namespace offer {

// The public keys of a comma-separated list of base64 texts of 32 bytes (blanks around
// an entry and empty entries are ignored, so "" and blanks give no keys). False, with
// problem naming the first entry that is not a key, when any entry is malformed, and
// false when the text holds something but no key (" , "): a broken key setting must
// refuse offers, not let them pass unverified.
bool ParsePublicKeys(std::string_view text, std::vector<std::string>& keys, std::string& problem);

// Today's UTC date as days since 1970-01-01.
int64_t TodayUtc();

// The offer rules on a configuration's bytes: signature by one of keys, the four signed
// values, Serial >= acceptedSerial, Expires >= today. values receives the signed values
// when the offer passes.
std::string CheckOffer(std::string_view text, const std::vector<std::string>& keys, int64_t acceptedSerial,
                       int64_t today, TOfferValues& values);

// The same for a configuration file; larger than kMaxConfigSize is refused unread.
constexpr int64_t kMaxConfigSize = 64 * 1024;
std::string CheckOfferFile(const std::string& fileName, const std::vector<std::string>& keys, int64_t acceptedSerial,
                           int64_t today, TOfferValues& values);

// A downloaded package against the signed size and SHA-256 (the size first, so that a
// package of the wrong length is refused without reading it).
std::string CheckPackageFile(const std::string& fileName, const TOfferValues& values);
// The same for a package already open: package is read from its start, and what it
// gives is what was checked (see package/PackageFile.h for a reader that cannot change).
std::string CheckPackage(base::TStream& package, const TOfferValues& values);

}  // namespace offer
