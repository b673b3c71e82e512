#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/Base64.h"
#include "crypto/Ed25519.h"
#include "crypto/Sha256.h"
#include "offer/OfferRules.h"
#include "support/TempDir.h"

namespace {

const std::string kSeed(32, '\x44');
const std::string kOtherSeed(32, '\x55');
const char kBadSignature[] = "the signature does not match the configuration and a configured key";

std::string PublicKey(const std::string& seed) {
  std::string key;
  EXPECT_TRUE(crypto::Ed25519PublicKey(seed, key));
  return key;
}

// An offer of serial 20 expiring on day 20000 (2024-10-04), for a package "pkg".
std::string Offer(const std::string& seed = kSeed, int64_t serial = 20, int64_t expires = 20000) {
  offer::TOfferValues v;
  v.PackageSize = 3;
  v.PackageSha256 = crypto::Sha256("pkg");
  v.Serial = serial;
  v.ExpiresDay = expires;
  std::string text, problem;
  EXPECT_TRUE(
      offer::SignConfig("[System]\r\nPackageVision=2.1.0.12\r\nPackagePath=http://h/p\r\n", v, seed, text, problem))
      << problem;
  return text;
}

std::string Check(const std::string& text, int64_t accepted = 0, int64_t today = 19990,
                  const std::vector<std::string>& keys = {PublicKey(kSeed)}) {
  offer::TOfferValues v;
  std::string cause = offer::CheckOffer(text, keys, accepted, today, v);
  EXPECT_EQ(v.Serial, cause.empty() ? 20 : -1);  // values only for an offer that passes
  return cause;
}

TEST(OfferRules, SerialMayEqualButNotFallBelowTheAcceptedOne) {
  EXPECT_EQ(Check(Offer(), 0), "");
  EXPECT_EQ(Check(Offer(), 19), "");
  EXPECT_EQ(Check(Offer(), 20), "");  // the same offer again (a second start) is fine
  EXPECT_EQ(Check(Offer(), 21), "Serial 20 is lower than the serial 21 accepted before");
}

TEST(OfferRules, AnOfferIsValidThroughItsExpiryDay) {
  EXPECT_EQ(Check(Offer(), 0, 19999), "");
  EXPECT_EQ(Check(Offer(), 0, 20000), "");
  EXPECT_EQ(Check(Offer(), 0, 20001), "the offer expired on 2024-10-04");
  // A replayed offer that is also expired names the replay.
  EXPECT_EQ(Check(Offer(), 30, 20001), "Serial 20 is lower than the serial 30 accepted before");
}

TEST(OfferRules, EveryChangedByteOfASignedOfferRefusesIt) {
  const std::string offerText = Offer();
  size_t signedLength = 0;
  std::string signature;
  ASSERT_EQ(offer::SplitSignature(offerText, signedLength, signature), offer::TSignatureLine::slFound);
  for (size_t i = 0; i < offerText.size(); ++i) {
    std::string t = offerText;
    t[i] ^= 0x02;
    EXPECT_NE(Check(t), "") << "byte " << i;
  }
  // Removed bytes and added ones likewise; only a final line break may go or come.
  EXPECT_EQ(Check(offerText.substr(0, offerText.size() - 2)), "");
  EXPECT_EQ(Check(offerText.substr(0, signedLength)), "no Signature line at the end of the configuration");
  EXPECT_EQ(Check(offerText + "\r\n"), "no Signature line at the end of the configuration");
  EXPECT_EQ(Check(" " + offerText), kBadSignature);
  EXPECT_EQ(Check(offerText.substr(0, 5) + offerText.substr(6)), kBadSignature);
}

TEST(OfferRules, OnlyConfiguredKeysSignAndEitherOfTwoDoes) {
  const std::string other = Offer(kOtherSeed);
  EXPECT_EQ(Check(other), kBadSignature);
  EXPECT_EQ(Check(other, 0, 19990, {}), kBadSignature);  // no key: nothing verifies
  EXPECT_EQ(Check(other, 0, 19990, {PublicKey(kSeed), PublicKey(kOtherSeed)}), "");
  EXPECT_EQ(Check(Offer(), 0, 19990, {PublicKey(kSeed), PublicKey(kOtherSeed)}), "");
}

TEST(OfferRules, PublicKeyListsAreBase64KeysSeparatedByCommas) {
  const std::string a = base::Base64Encode(PublicKey(kSeed)), b = base::Base64Encode(PublicKey(kOtherSeed));
  std::vector<std::string> keys;
  std::string problem;
  EXPECT_TRUE(offer::ParsePublicKeys("", keys, problem));
  EXPECT_TRUE(keys.empty());
  EXPECT_TRUE(offer::ParsePublicKeys(" \t ", keys, problem));
  EXPECT_TRUE(keys.empty());
  // Something was meant to be a key: offers must be refused, not taken unverified.
  for (const char* blank : {" , ", ",", ",,\t,"}) {
    EXPECT_FALSE(offer::ParsePublicKeys(blank, keys, problem)) << blank;
    EXPECT_EQ(problem, "holds no public key");
  }
  EXPECT_TRUE(offer::ParsePublicKeys(" " + a + " ,\t" + b + ",", keys, problem));
  EXPECT_EQ(keys, (std::vector<std::string>{PublicKey(kSeed), PublicKey(kOtherSeed)}));
  // One bad entry spoils the list: a typo must not turn checking off.
  EXPECT_FALSE(offer::ParsePublicKeys(a + "," + b.substr(1), keys, problem));
  EXPECT_TRUE(keys.empty());
  EXPECT_EQ(problem, "\"" + b.substr(1) + "\" is not a public key (44 characters of base64)");
  EXPECT_FALSE(offer::ParsePublicKeys(base::Base64Encode(std::string(31, 'k')), keys, problem));
  EXPECT_FALSE(offer::ParsePublicKeys(a + " " + b, keys, problem));
  EXPECT_FALSE(offer::ParsePublicKeys(base::Base64Encode(std::string(32, '\0')), keys, problem));
}

TEST(OfferRules, PackagesMustHaveTheSignedSizeAndDigest) {
  testsupport::TempDir dir;
  offer::TOfferValues v;
  v.PackageSize = 3;
  v.PackageSha256 = crypto::Sha256("pkg");
  testsupport::WriteFile(dir / "p.vtzip", "pkg");
  EXPECT_EQ(offer::CheckPackageFile(dir / "p.vtzip", v), "");
  testsupport::WriteFile(dir / "p.vtzip", "pkG");
  EXPECT_EQ(offer::CheckPackageFile(dir / "p.vtzip", v),
            "the package's SHA-256 " + crypto::ToHex(crypto::Sha256("pkG")) + " is not the signed " +
                crypto::ToHex(crypto::Sha256("pkg")));
  testsupport::WriteFile(dir / "p.vtzip", "pkg!");
  EXPECT_EQ(offer::CheckPackageFile(dir / "p.vtzip", v), "the package has 4 bytes, the offer signed 3");
  EXPECT_EQ(offer::CheckPackageFile(dir / "missing.vtzip", v), "the downloaded package cannot be read");
}

TEST(OfferRules, ConfigurationFilesAreReadWholeUpToTheirLimit) {
  testsupport::TempDir dir;
  offer::TOfferValues v;
  const std::vector<std::string> keys = {PublicKey(kSeed)};
  testsupport::WriteFile(dir / "c.ini", Offer());
  EXPECT_EQ(offer::CheckOfferFile(dir / "c.ini", keys, 0, 19990, v), "");
  EXPECT_EQ(v.Serial, 20);
  EXPECT_EQ(v.PackageSize, 3);
  testsupport::WriteFile(dir / "c.ini", std::string(offer::kMaxConfigSize + 1, ';'));
  EXPECT_EQ(offer::CheckOfferFile(dir / "c.ini", keys, 0, 19990, v), "the configuration is larger than 65536 bytes");
  EXPECT_NE(offer::CheckOfferFile(dir / "none.ini", keys, 0, 19990, v).find("cannot be read"), std::string::npos);
}

}  // namespace
