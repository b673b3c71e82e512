#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/Base64.h"
#include "crypto/Ed25519.h"
#include "crypto/Sha256.h"
#include "offer/SignedConfig.h"

namespace {

const std::string kSignature = std::string(63, '\x5A') + '\x01';
const std::string kSignatureText = base::Base64Encode(kSignature);  // 88 characters

struct TSplitCase {
  const char* Name;
  std::string Text;
  offer::TSignatureLine Expected;
  size_t SignedLength;
};

TEST(SignatureLine, IsTheLastLineWithExactlyOneSignature) {
  const std::string body = "[System]\r\nSerial=1\r\n";
  const TSplitCase cases[] = {
      {"CR LF after it", body + "Signature=" + kSignatureText + "\r\n", offer::TSignatureLine::slFound, body.size()},
      {"no break after it", body + "Signature=" + kSignatureText, offer::TSignatureLine::slFound, body.size()},
      {"LF lines", "[System]\nSerial=1\nSignature=" + kSignatureText + "\n", offer::TSignatureLine::slFound, 18},
      {"CR lines", "[System]\rSerial=1\rSignature=" + kSignatureText + "\r", offer::TSignatureLine::slFound, 18},
      {"nothing signed", "Signature=" + kSignatureText, offer::TSignatureLine::slFound, 0},
      {"a blank line after it", body + "Signature=" + kSignatureText + "\r\n\r\n", offer::TSignatureLine::slMissing, 0},
      {"a line after it", body + "Signature=" + kSignatureText + "\r\nSerial=9\r\n", offer::TSignatureLine::slMissing,
       0},
      {"no signature", body, offer::TSignatureLine::slMissing, 0},
      {"empty file", "", offer::TSignatureLine::slMissing, 0},
      {"other case", body + "signature=" + kSignatureText, offer::TSignatureLine::slMissing, 0},
      {"blank before the key", body + " Signature=" + kSignatureText, offer::TSignatureLine::slMissing, 0},
      {"blank after the value", body + "Signature=" + kSignatureText + " \r\n", offer::TSignatureLine::slMalformed, 0},
      {"blank after '='", body + "Signature= " + kSignatureText, offer::TSignatureLine::slMalformed, 0},
      {"a character short", body + "Signature=" + kSignatureText.substr(1), offer::TSignatureLine::slMalformed, 0},
      {"63 bytes", body + "Signature=" + base::Base64Encode(kSignature.substr(1)), offer::TSignatureLine::slMalformed,
       0},
      {"not canonical", body + "Signature=" + kSignatureText.substr(0, 85) + "B==", offer::TSignatureLine::slMalformed,
       0},
      {"two breaks of CR LF kinds", body + "Signature=" + kSignatureText + "\n\r", offer::TSignatureLine::slMissing, 0},
  };
  for (const TSplitCase& c : cases) {
    size_t signedLength = 99;
    std::string signature;
    EXPECT_EQ(offer::SplitSignature(c.Text, signedLength, signature), c.Expected) << c.Name;
    if (c.Expected == offer::TSignatureLine::slFound) {
      EXPECT_EQ(signedLength, c.SignedLength) << c.Name;
      EXPECT_EQ(signature, kSignature) << c.Name;
    } else {
      EXPECT_TRUE(signature.empty()) << c.Name;
    }
  }
}

TEST(SignedConfig, ValuesAreReadFromTheFirstSystemSectionOnly) {
  const std::string text =
      "[Other]\r\nSerial=1\r\n[ system ]\r\n  packagesize = 120 \r\nPackageSha256=" + std::string(64, 'A') +
      "\r\nSerial=7\r\nSerial=8\r\nExpires=2027-02-28\r\n[System]\r\nSerial=9\r\n";
  offer::TOfferValues v;
  std::string problem;
  ASSERT_TRUE(offer::ReadOfferValues(text, v, problem)) << problem;
  EXPECT_EQ(v.PackageSize, 120);
  EXPECT_EQ(v.PackageSha256, std::string(32, '\xAA'));
  EXPECT_EQ(v.Serial, 7);
  EXPECT_EQ(offer::FormatUtcDate(v.ExpiresDay), "2027-02-28");
  EXPECT_EQ(v.RolloutPercent, 100);  // absent: every installation
  EXPECT_EQ(v.HealthySeconds, 10);
  // What the offer offers has defaults when absent; a later [System] does not count.
  EXPECT_EQ(v.PackageVision, "0.0.0.0");
  EXPECT_EQ(v.PackagePath, "");
  ASSERT_TRUE(offer::ReadOfferValues(text + "PackageVision=9.9.9.9\r\n", v, problem));
  EXPECT_EQ(v.PackageVision, "0.0.0.0");
  ASSERT_TRUE(offer::ReadOfferValues("[System]\r\npackagevision = 2.1.0.12 \r\nPackagePath=http://h/p.vtzip\r\n" +
                                         text.substr(text.find("  packagesize")),
                                     v, problem))
      << problem;
  EXPECT_EQ(v.PackageVision, "2.1.0.12");
  EXPECT_EQ(v.PackagePath, "http://h/p.vtzip");
  std::string found;
  EXPECT_TRUE(offer::FindIniValue("[System]\nA=1\n[Other]\nB=2\n[System]\nB=3\n", "other", "b", found));
  EXPECT_EQ(found, "2");
  EXPECT_FALSE(offer::FindIniValue("[System]\nA=1\n[Other]\nB=2\n[System]\nB=3\n", "System", "B", found));
  EXPECT_FALSE(offer::FindIniValue("B=1\n[System]\n", "System", "B", found));

  struct {
    std::string From, To, Problem;
  } broken[] = {
      {"  packagesize = 120 ", "PackageSize=-1", "PackageSize is not a byte count"},
      {"  packagesize = 120 ", "PackageSize=0x10", "PackageSize is not a byte count"},
      {"  packagesize = 120 ", "", "PackageSize is missing from [System]"},
      {std::string(64, 'A'), std::string(63, 'A'), "PackageSha256 is not 64 hex digits"},
      {std::string(64, 'A'), std::string(63, 'A') + "G", "PackageSha256 is not 64 hex digits"},
      {"Serial=7", "Serial=1234567890123456789", "Serial is not a decimal number"},
      {"Expires=2027-02-28", "Expires=2027-02-29", "Expires is not a date YYYY-MM-DD"},
      {"Expires=2027-02-28", "Expires=27-02-28", "Expires is not a date YYYY-MM-DD"},
      {"Expires=2027-02-28", "Expires=1969-12-31", "Expires is not a date YYYY-MM-DD"},
      {"Serial=7", "Serial=7\r\nRolloutPercent=101", "RolloutPercent is not a number from 0 to 100"},
      {"Serial=7", "Serial=7\r\nRolloutPercent=-5", "RolloutPercent is not a number from 0 to 100"},
      {"Serial=7", "Serial=7\r\nRolloutPercent=30%", "RolloutPercent is not a number from 0 to 100"},
      {"Serial=7", "Serial=7\r\nRolloutPercent=", "RolloutPercent is not a number from 0 to 100"},
      {"Serial=7", "Serial=7\r\nHealthySeconds=0", "HealthySeconds is not a number from 1 to 3600"},
      {"Serial=7", "Serial=7\r\nHealthySeconds=3601", "HealthySeconds is not a number from 1 to 3600"},
  };
  for (const auto& b : broken) {
    std::string t = text;
    t.replace(t.find(b.From), b.From.size(), b.To);
    EXPECT_FALSE(offer::ReadOfferValues(t, v, problem)) << b.To;
    EXPECT_EQ(problem, b.Problem) << b.To;
  }
  // The bounds themselves are taken.
  for (const char* extra : {"RolloutPercent=0\r\nHealthySeconds=1", "RolloutPercent=100\r\nHealthySeconds=3600"}) {
    std::string t = text;
    t.replace(t.find("Serial=7"), 8, std::string("Serial=7\r\n") + extra);
    EXPECT_TRUE(offer::ReadOfferValues(t, v, problem)) << extra << ": " << problem;
  }
  EXPECT_EQ(v.RolloutPercent, 100);
  EXPECT_EQ(v.HealthySeconds, 3600);
}

TEST(SignedConfig, DatesAreRealCalendarDays) {
  int64_t day = -1;
  EXPECT_TRUE(offer::ParseUtcDate("1970-01-01", day));
  EXPECT_EQ(day, 0);
  EXPECT_TRUE(offer::ParseUtcDate("2024-02-29", day));
  EXPECT_EQ(day, 19782);
  EXPECT_EQ(offer::FormatUtcDate(19782), "2024-02-29");
  for (const char* bad : {"2023-02-29", "2024-13-01", "2024-00-10", "2024-1-01", "2024/01/01", " 2024-01-01", ""})
    EXPECT_FALSE(offer::ParseUtcDate(bad, day)) << bad;
}

TEST(SignedConfig, SigningPutsTheValuesIntoSystemAndSignsEverythingBeforeTheLastLine) {
  const std::string seed(32, '\x33');
  offer::TOfferValues values;
  values.PackageSize = 4096;
  values.PackageSha256 = std::string(32, '\x0F');
  values.Serial = 12;
  ASSERT_TRUE(offer::ParseUtcDate("2027-01-31", values.ExpiresDay));
  // Earlier values and an old signature go; other sections and lines stay as they were.
  const std::string text =
      "; offer\r\n[System]\r\nPackageVision=2.1.0.12\r\nSerial=3\r\nPackagePath=http://h/p.vtzip\r\n\r\n[Notes]\r\n"
      "Text=a\r\nSignature=old";
  std::string signedText, problem;
  ASSERT_TRUE(offer::SignConfig(text, values, seed, signedText, problem)) << problem;
  const std::string expectedBody =
      "; offer\r\n[System]\r\nPackageVision=2.1.0.12\r\nPackagePath=http://h/p.vtzip\r\nPackageSize=4096\r\n"
      "PackageSha256=" +
      crypto::ToHex(values.PackageSha256) + "\r\nSerial=12\r\nExpires=2027-01-31\r\n\r\n[Notes]\r\nText=a\r\n";
  ASSERT_EQ(signedText.substr(0, expectedBody.size()), expectedBody);
  size_t signedLength = 0;
  std::string signature;
  ASSERT_EQ(offer::SplitSignature(signedText, signedLength, signature), offer::TSignatureLine::slFound);
  EXPECT_EQ(signedLength, expectedBody.size());
  EXPECT_EQ(signedText.substr(signedText.size() - 2), "\r\n");
  std::string publicKey;
  ASSERT_TRUE(crypto::Ed25519PublicKey(seed, publicKey));
  EXPECT_TRUE(crypto::Ed25519Verify(publicKey, expectedBody, signature));

  // Signing the signed text again gives the same text: nothing piles up.
  std::string again;
  ASSERT_TRUE(offer::SignConfig(signedText, values, seed, again, problem));
  EXPECT_EQ(again, signedText);

  // LF-only text keeps LF; a last line without a break gets one.
  ASSERT_TRUE(offer::SignConfig("[System]\nPackageVision=1", values, seed, signedText, problem));
  EXPECT_EQ(signedText.substr(0, 40), "[System]\nPackageVision=1\nPackageSize=409");
  EXPECT_EQ(signedText.find('\r'), std::string::npos);

  // A staged offer carries its share and health time; back at the defaults they go again.
  values.RolloutPercent = 30;
  values.HealthySeconds = 25;
  ASSERT_TRUE(offer::SignConfig(again, values, seed, signedText, problem));
  EXPECT_NE(signedText.find("Expires=2027-01-31\r\nRolloutPercent=30\r\nHealthySeconds=25\r\n\r\n[Notes]"),
            std::string::npos);
  offer::TOfferValues read;
  ASSERT_TRUE(offer::ReadOfferValues(signedText, read, problem)) << problem;
  EXPECT_EQ(read.RolloutPercent, 30);
  EXPECT_EQ(read.HealthySeconds, 25);
  values.RolloutPercent = 100;
  values.HealthySeconds = 10;
  std::string back;
  ASSERT_TRUE(offer::SignConfig(signedText, values, seed, back, problem));
  EXPECT_EQ(back, again);

  EXPECT_FALSE(offer::SignConfig("[Other]\r\nA=1\r\n", values, seed, signedText, problem));
  EXPECT_EQ(problem, "the configuration has no [System] section");
  EXPECT_FALSE(offer::SignConfig("[System]\r\n", values, seed.substr(1), signedText, problem));
}

// Deltas are written after the four values, numbered from 1; lines of earlier deltas go.
// Reading them back takes every complete one and refuses a malformed one as a whole.
TEST(SignedConfig, DeltasAreSignedBesideThePackageAndReadBackInOrder) {
  const std::string seed(32, '\x33');
  offer::TOfferValues values;
  values.PackageSize = 10;
  values.PackageSha256 = std::string(32, '\x0F');
  values.Serial = 2;
  values.ExpiresDay = 20000;
  values.Deltas = {{"2.1.0.10", "http://h/a.vtdelta", 300, std::string(32, '\x01')},
                   {"2.1.0.11", "http://h/b.vtdelta", 20, std::string(32, '\x02')}};
  std::string signedText, problem;
  ASSERT_TRUE(offer::SignConfig("[System]\r\nPackageVision=2.1.0.12\r\nDelta3From=1.0\r\ndelta1path=x\r\n", values,
                                seed, signedText, problem));
  const std::string h1 = crypto::ToHex(std::string(32, '\x01')), h2 = crypto::ToHex(std::string(32, '\x02'));
  EXPECT_NE(signedText.find("Expires=2024-10-04\r\nDelta1From=2.1.0.10\r\nDelta1Path=http://h/a.vtdelta\r\n"
                            "Delta1Size=300\r\nDelta1Sha256=" +
                            h1 +
                            "\r\nDelta2From=2.1.0.11\r\n"
                            "Delta2Path=http://h/b.vtdelta\r\nDelta2Size=20\r\nDelta2Sha256=" +
                            h2 + "\r\nSignature="),
            std::string::npos)
      << signedText;
  EXPECT_EQ(signedText.find("Delta3From"), std::string::npos);
  EXPECT_EQ(signedText.find("delta1path"), std::string::npos);
  std::vector<offer::TDeltaOffer> deltas;
  ASSERT_TRUE(offer::ReadDeltaOffers(signedText, deltas, problem)) << problem;
  ASSERT_EQ(deltas.size(), 2u);
  EXPECT_EQ(deltas[1].From, "2.1.0.11");
  EXPECT_EQ(deltas[1].Path, "http://h/b.vtdelta");
  EXPECT_EQ(deltas[1].Size, 20);
  EXPECT_EQ(deltas[1].Sha256, std::string(32, '\x02'));
  offer::TOfferValues read;
  ASSERT_TRUE(offer::ReadOfferValues(signedText, read, problem)) << problem;
  EXPECT_EQ(read.Deltas.size(), 2u);
  EXPECT_EQ(read.DeltaProblem, "");

  const std::string good = "Delta1From=1\nDelta1Path=http://h/d\nDelta1Size=5\nDelta1Sha256=" + h1 + "\n";
  struct TCase {
    std::string Text;
    size_t Deltas;  // when read
    const char* Problem;
  };
  const TCase cases[] = {
      {"[System]\nPackageVision=1\n", 0, ""},
      {"[System]\n" + good, 1, ""},
      {"[System]\n" + good + "Delta3From=1\n", 1, ""},  // numbering stops at the first gap
      {"[System]\n" + good + "Delta2From=2\nDelta2Path=http://h/e\nDelta2Sha256=" + h2 + "\n", 0,
       "Delta2 is incomplete or malformed"},
      {"[System]\nDelta1From=1\nDelta1Path=http://h/d\nDelta1Size=-5\nDelta1Sha256=" + h1 + "\n", 0,
       "Delta1 is incomplete or malformed"},
      {"[System]\nDelta1From=1\nDelta1Path=http://h/d\nDelta1Size=5\nDelta1Sha256=" + h1.substr(2) + "\n", 0,
       "Delta1 is incomplete or malformed"},
      {"[System]\nDelta1From=\nDelta1Path=http://h/d\nDelta1Size=5\nDelta1Sha256=" + h1 + "\n", 0,
       "Delta1 is incomplete or malformed"},
      {"[Other]\n" + good, 0, ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Text);
    EXPECT_EQ(offer::ReadDeltaOffers(c.Text, deltas, problem), std::string(c.Problem).empty());
    EXPECT_EQ(problem, c.Problem);
    EXPECT_EQ(deltas.size(), c.Deltas);
  }
}

}  // namespace
