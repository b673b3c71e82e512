#include <gtest/gtest.h>

#include <string>

#include "crypto/Ed25519.h"
#include "crypto/Sha256.h"
#include "support/TempDir.h"

namespace {

// Seeds of our own choosing: keys whose signatures are fixed, so a change in how messages
// are fed to the library shows.
const std::string kSeedA(32, '\x11');
const std::string kSeedB(32, '\x22');

TEST(Ed25519, SignaturesVerifyOnlyForTheirMessageAndKey) {
  std::string publicA, publicB;
  ASSERT_TRUE(crypto::Ed25519PublicKey(kSeedA, publicA));
  ASSERT_TRUE(crypto::Ed25519PublicKey(kSeedB, publicB));
  EXPECT_EQ(publicA.size(), 32u);
  EXPECT_NE(publicA, publicB);
  const std::string message = "[System]\r\nPackageVision=2.1.0.12\r\n";
  std::string signature = crypto::Ed25519Sign(kSeedA, message);
  ASSERT_EQ(signature.size(), 64u);
  // Ed25519 signatures are deterministic.
  EXPECT_EQ(crypto::Ed25519Sign(kSeedA, message), signature);
  EXPECT_TRUE(crypto::Ed25519Verify(publicA, message, signature));
  EXPECT_FALSE(crypto::Ed25519Verify(publicB, message, signature));
  EXPECT_FALSE(crypto::Ed25519Verify(publicA, message + " ", signature));
  EXPECT_FALSE(crypto::Ed25519Verify(publicA, message.substr(1), signature));
  for (size_t i : {size_t(0), size_t(31), size_t(32), size_t(63)}) {
    std::string bad = signature;
    bad[i] ^= 0x01;
    EXPECT_FALSE(crypto::Ed25519Verify(publicA, message, bad)) << i;
  }
  // Wrong sizes are not valid, never an error.
  EXPECT_FALSE(crypto::Ed25519Verify(publicA, message, signature.substr(1)));
  EXPECT_FALSE(crypto::Ed25519Verify(publicA.substr(1), message, signature));
  // Degenerate points (the identity, points of order 2 and 4) and points with a short
  // coordinate (the last one found by offer_fuzz) are no keys; libgcrypt would abort the
  // process verifying against them.
  std::string identity(32, '\0'), minusOne(32, '\xFF');
  identity[0] = 1;
  minusOne[0] = '\xEC';
  minusOne[31] = '\x7F';
  std::string shortY = std::string("[Syste=m]\x05\nPa{{zi") + std::string(15, '\0');
  ASSERT_EQ(shortY.size(), 32u);
  for (const std::string& k : {std::string(32, '\0'), identity, minusOne, shortY}) {
    EXPECT_FALSE(crypto::Ed25519UsablePublicKey(k));
    EXPECT_FALSE(crypto::Ed25519Verify(k, message, signature));
  }
  EXPECT_TRUE(crypto::Ed25519UsablePublicKey(publicA));
  EXPECT_TRUE(crypto::Ed25519Sign(kSeedA.substr(1), message).empty());
  // An empty message is a message too.
  EXPECT_TRUE(crypto::Ed25519Verify(publicA, "", crypto::Ed25519Sign(kSeedA, "")));
}

TEST(Ed25519, GeneratedPairsBelongTogetherAndDiffer) {
  std::string seed1, public1, seed2, public2, error;
  ASSERT_TRUE(crypto::Ed25519Generate(seed1, public1, error)) << error;
  ASSERT_TRUE(crypto::Ed25519Generate(seed2, public2, error)) << error;
  EXPECT_EQ(seed1.size(), 32u);
  EXPECT_NE(seed1, seed2);
  std::string derived;
  ASSERT_TRUE(crypto::Ed25519PublicKey(seed1, derived));
  EXPECT_EQ(derived, public1);
  EXPECT_TRUE(crypto::Ed25519Verify(public1, "m", crypto::Ed25519Sign(seed1, "m")));
  EXPECT_FALSE(crypto::Ed25519Verify(public2, "m", crypto::Ed25519Sign(seed1, "m")));
}

TEST(Sha256, OfBytesAndOfFilesAgreeAndHexRoundTrips) {
  // The digest of no bytes is a fixed, widely printed value.
  EXPECT_EQ(crypto::ToHex(crypto::Sha256("")), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  testsupport::TempDir dir;
  std::string data;
  for (int i = 0; i < 200000; ++i) data += static_cast<char>(i * 7 + i / 256);
  testsupport::WriteFile(dir / "f.bin", data);
  std::string digest, error;
  int64_t size = 0;
  ASSERT_TRUE(crypto::Sha256File(dir / "f.bin", digest, size, error)) << error;
  EXPECT_EQ(size, 200000);
  EXPECT_EQ(digest, crypto::Sha256(data));
  EXPECT_FALSE(crypto::Sha256File(dir / "missing.bin", digest, size, error));
  EXPECT_FALSE(error.empty());

  std::string bytes;
  EXPECT_TRUE(crypto::FromHex("00Ff7a", bytes));
  EXPECT_EQ(bytes, std::string("\x00\xFF\x7A", 3));
  EXPECT_EQ(crypto::ToHex(bytes), "00ff7a");
  EXPECT_FALSE(crypto::FromHex("0", bytes));
  EXPECT_FALSE(crypto::FromHex("0g", bytes));
  EXPECT_FALSE(crypto::FromHex(" 00", bytes));
}

}  // namespace
