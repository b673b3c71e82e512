#include "offer/OfferRules.h"

#include <exception>

#include "base/Base64.h"
#include "base/Format.h"
#include "base/Stream.h"
#include "base/Strings.h"
#include "crypto/Ed25519.h"
#include "crypto/Sha256.h"
#include "platform/Clock.h"
#include "platform/Files.h"

namespace offer {

bool ParsePublicKeys(std::string_view text, std::vector<std::string>& keys, std::string& problem) {
  keys.clear();
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(',', start);
    std::string entry = base::Trim(text.substr(start, comma == std::string_view::npos ? text.npos : comma - start));
    if (!entry.empty()) {
      std::string key;
      if (!base::Base64Decode(entry, key) || !crypto::Ed25519UsablePublicKey(key)) {
        problem = "\"" + entry.substr(0, 60) + "\" is not a public key (44 characters of base64)";
        keys.clear();
        return false;
      }
      keys.push_back(key);
    }
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  // Only commas and blanks: somebody meant to set a key. Taking offers unverified then
  // would turn a typo into no protection at all.
  if (keys.empty() && !base::Trim(text).empty()) {
    problem = "holds no public key";
    return false;
  }
  return true;
}

int64_t TodayUtc() {
  int64_t seconds = platform::UnixTimeNow();
  return seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
}

std::string CheckOffer(std::string_view text, const std::vector<std::string>& keys, int64_t acceptedSerial,
                       int64_t today, TOfferValues& values) {
  values = TOfferValues();
  size_t signedLength = 0;
  std::string signature;
  switch (SplitSignature(text, signedLength, signature)) {
    case TSignatureLine::slMissing: return "no Signature line at the end of the configuration";
    case TSignatureLine::slMalformed: return "the Signature line is not 88 characters of base64";
    case TSignatureLine::slFound: break;
  }
  std::string_view signedText = text.substr(0, signedLength);
  bool valid = false;
  for (const std::string& key : keys) valid = valid || crypto::Ed25519Verify(key, signedText, signature);
  if (!valid) return "the signature does not match the configuration and a configured key";
  TOfferValues v;
  std::string problem;
  if (!ReadOfferValues(signedText, v, problem)) return problem;
  if (v.Serial < acceptedSerial)
    return base::Format("Serial %d is lower than the serial %d accepted before", v.Serial, acceptedSerial);
  if (v.ExpiresDay < today) return "the offer expired on " + FormatUtcDate(v.ExpiresDay);
  values = v;
  return {};
}

std::string CheckOfferFile(const std::string& fileName, const std::vector<std::string>& keys, int64_t acceptedSerial,
                           int64_t today, TOfferValues& values) {
  values = TOfferValues();
  std::string text;
  try {
    base::TFileStream file(fileName, platform::fmOpenRead | platform::fmShareDenyWrite);
    int64_t size = file.Size();
    if (size > kMaxConfigSize) return base::Format("the configuration is larger than %d bytes", kMaxConfigSize);
    text.resize(static_cast<size_t>(size));
    if (size > 0) file.ReadBuffer(text.data(), static_cast<int32_t>(size));
  } catch (const std::exception& e) {
    return std::string("the configuration cannot be read: ") + e.what();
  }
  return CheckOffer(text, keys, acceptedSerial, today, values);
}

std::string CheckPackage(base::TStream& package, const TOfferValues& values) {
  int64_t size = -1;
  try {
    size = package.Size();
    package.SetPosition(0);
  } catch (const std::exception&) {
  }
  if (size < 0) return "the downloaded package cannot be read";
  if (size != values.PackageSize)
    return base::Format("the package has %d bytes, the offer signed %d", size, values.PackageSize);
  std::string digest, error;
  if (!crypto::Sha256Stream(package, digest, size, error)) return "the package cannot be read: " + error;
  if (size != values.PackageSize)
    return base::Format("the package has %d bytes, the offer signed %d", size, values.PackageSize);
  if (digest != values.PackageSha256)
    return "the package's SHA-256 " + crypto::ToHex(digest) + " is not the signed " +
           crypto::ToHex(values.PackageSha256);
  return {};
}

std::string CheckPackageFile(const std::string& fileName, const TOfferValues& values) {
  int64_t size = platform::FileSize(fileName);
  if (size < 0) return "the downloaded package cannot be read";
  if (size != values.PackageSize)  // refused without reading it
    return base::Format("the package has %d bytes, the offer signed %d", size, values.PackageSize);
  try {
    base::TFileStream file(fileName, platform::fmOpenRead | platform::fmShareDenyWrite);
    return CheckPackage(file, values);
  } catch (const std::exception& e) {
    return std::string("the package cannot be read: ") + e.what();
  }
}

}  // namespace offer
