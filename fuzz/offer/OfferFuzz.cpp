// Arbitrary bytes as an update configuration, in both of its roles:
//  - as the launcher receives it: the signature line, the signed values and the rules
//    must return without crash, hang or sanitizer report, and never accept (the fuzzer
//    holds no key);
//  - as the vendor's text: once signed, it must pass with the values it was signed with
//    (and the version and path it offers, read from those bytes), and with a byte
//    changed it must not. Signing and verifying cost about a millisecond
//    each, so one input in eight (by its length) takes this round trip; the parsers see
//    every input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "crypto/Ed25519.h"
#include "crypto/Sha256.h"
#include "offer/OfferRules.h"

namespace {

const std::string kSeed(32, '\x66');

const std::vector<std::string>& Keys() {
  static const std::vector<std::string> keys = [] {
    std::string key;
    if (!crypto::Ed25519PublicKey(kSeed, key)) std::abort();
    return std::vector<std::string>{key};
  }();
  return keys;
}

bool SameValues(const offer::TOfferValues& a, const offer::TOfferValues& b) {
  return a.PackageSize == b.PackageSize && a.PackageSha256 == b.PackageSha256 && a.Serial == b.Serial &&
         a.ExpiresDay == b.ExpiresDay && a.RolloutPercent == b.RolloutPercent && a.HealthySeconds == b.HealthySeconds;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > static_cast<size_t>(offer::kMaxConfigSize)) return 0;
  const std::string text(reinterpret_cast<const char*>(data), size);

  offer::TOfferValues got;
  if (offer::CheckOffer(text, Keys(), 0, 0, got).empty()) std::abort();  // a forged signature passed
  std::string problem;
  offer::ReadOfferValues(text, got, problem);
  size_t signedLength = 0;
  std::string signature;
  if (offer::SplitSignature(text, signedLength, signature) == offer::TSignatureLine::slFound &&
      (signedLength > size || signature.size() != 64))
    std::abort();

  // Keys come from the launcher's own settings, but a key libgcrypt cannot take must be
  // refused, never abort the process: arbitrary bytes as keys, and as a key with a
  // signature. (Whether such a pair verifies is not judged: a degenerate key of the
  // fuzzer's choosing may well admit a signature; configured keys are real ones.)
  std::vector<std::string> keys;
  offer::ParsePublicKeys(text.substr(0, 256), keys, problem);
  if (size % 8 == 1 && size >= 96) crypto::Ed25519Verify(text.substr(0, 32), text.substr(96), text.substr(32, 64));

  if (size % 8 != 0) return 0;
  offer::TOfferValues values;
  values.PackageSize = static_cast<int64_t>(size);
  values.PackageSha256 = crypto::Sha256(text);
  values.Serial = static_cast<int64_t>(size * 7919 % 1000003);
  values.ExpiresDay = 20000 + static_cast<int64_t>(size % 1000);
  values.RolloutPercent = static_cast<int64_t>(size / 8 % 101);  // 100 (not written) included
  values.HealthySeconds = 1 + static_cast<int64_t>(size / 8 % 3600);
  std::string signedText;
  if (!offer::SignConfig(text, values, kSeed, signedText, problem)) return 0;
  if (!offer::CheckOffer(signedText, Keys(), values.Serial, values.ExpiresDay, got).empty() || !SameValues(got, values))
    std::abort();  // the vendor's own signed offer does not pass
  // What the launcher then offers comes from the same signed bytes, with the defaults.
  std::string vision = "0.0.0.0", path;
  offer::FindIniValue(signedText, "System", "PackageVision", vision);
  offer::FindIniValue(signedText, "System", "PackagePath", path);
  if (got.PackageVision != vision || got.PackagePath != path) std::abort();
  std::string changed = signedText;
  changed[(size * 31) % changed.size()] ^= 0x20;
  if (offer::CheckOffer(changed, Keys(), 0, 0, got).empty()) std::abort();  // a changed byte passes
  return 0;
}
