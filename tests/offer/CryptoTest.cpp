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

std::string Hex(const std::string& hex) {
  std::string bytes;
  EXPECT_TRUE(crypto::FromHex(hex, bytes)) << hex;
  return bytes;
}

TEST(Ed25519, TheRfcVectorsAndOnlyCanonicalSignatures) {
  // The first three test vectors of RFC 8032 (secret seed, public key, message, signature).
  struct TVector {
    const char *Seed, *Public, *Message, *Signature;
  };
  const TVector vectors[] = {
      {"9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60",
       "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a", "",
       "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb8821590a33bacc61e39701cf9b46bd25bf5f0595bbe2"
       "465"
       "5141438e7a100b"},
      {"4ccd089b28ff96da9db6c346ec114e0f5b8a319f35aba624da8cf6ed4fb8a6fb",
       "3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c", "72",
       "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da085ac1e43e15996e458f3613d0f11d8c387b2eaeb4302ae"
       "e"
       "b00d291612bb0c00"},
      {"c5aa8df43f9f837bedb7442f31dcb7b166d38535076f094b85ce3a2e0b4458f7",
       "fc51cd8e6218a1a38da47ed00230f0580816ed13ba3303ac5deb911548908025", "af82",
       "6291d657deec24024827e69c3abe01a30ce548a284743a445e3680d7db5ac3ac18ff9b538d16f290ae67f760984dc6594a7c15e9716ed28"
       "d"
       "c027beceea1ec40a"},
  };
  for (const TVector& v : vectors) {
    SCOPED_TRACE(v.Message);
    std::string publicKey;
    ASSERT_TRUE(crypto::Ed25519PublicKey(Hex(v.Seed), publicKey));
    EXPECT_EQ(crypto::ToHex(publicKey), v.Public);
    EXPECT_EQ(crypto::ToHex(crypto::Ed25519Sign(Hex(v.Seed), Hex(v.Message))), v.Signature);
    EXPECT_TRUE(crypto::Ed25519Verify(Hex(v.Public), Hex(v.Message), Hex(v.Signature)));
  }

  // Second forms of a valid signature, and keys written non-canonically (made by
  // data/make_ed25519_cases.py from the curve's definition). Each would verify if the
  // encodings were reduced instead of refused.
  std::string key = Hex(vectors[0].Public);
  EXPECT_FALSE(crypto::Ed25519Verify(key, "",
                                     Hex("e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901554c8c7872aa06"
                                         "4e049dbb3013fbf29380d25bf5f0595bbe24655141438e7a101b")))
      << "S + L";
  EXPECT_FALSE(crypto::Ed25519Verify(key, "",
                                     Hex("eeffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f3fdd9411ef77"
                                         "c7b937c975b1193128983db0482a002663080c0dd63cf3466c06")))
      << "R the neutral point with y = p + 1";
  std::string sig = Hex(vectors[0].Signature);
  for (const char* s : {"edd3f55c1a631258d69cf7a2def9de1400000000000000000000000000000010",  // S = L
                        "ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff"}) {
    EXPECT_FALSE(crypto::Ed25519Verify(key, "", sig.substr(0, 32) + Hex(s))) << s;
  }
  for (const char* k : {"eeffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f",   // y = p + 1
                        "edffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f",   // y = p
                        "0100000000000000000000000000000000000000000000000000000000000080",   // x = -0
                        "ecffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff"})  // y = -1, x = -0
    EXPECT_FALSE(crypto::Ed25519UsablePublicKey(Hex(k))) << k;
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
