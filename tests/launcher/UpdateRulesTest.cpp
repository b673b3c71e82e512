#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "launcher/UpdateRules.h"

using launcher::IsNewVision;

TEST(UpdateRules, OnlyAGreaterBuildOfTheSameReleaseIsNewer) {
  struct Case {
    const char* Offered;
    const char* Installed;
    bool Newer;
  } cases[] = {
      {"2.1.0.12", "2.1.0.10", true},
      {"2.1.0.10", "2.1.0.10", false},  // equal
      {"2.1.0.9", "2.1.0.10", false},   // older build
      {"2.2.0.1", "2.1.0.10", false},   // another release never counts
      {"3.0.0.0", "2.1.0.10", false},
      {"0.0.0.1", "0.0.0.0", true},  // no PackageVision installed: only 0.0.0.n, n > 0
      {"2.1.0.1", "0.0.0.0", false},
      {"2.1.0.12", "2.1.0", true},  // the installed version runs out after equal numbers
      {"1.2.3.5", "1.2.3", true},
      {"2.1.0.12.7", "2.1.0.10.3", true},  // further numbers must also be greater
      {"2.1.0.12.2", "2.1.0.10.3", false},
      {"2.1.0", "2.1.0.10", false},     // fewer numbers offered: not newer, no failure
      {"2.1.x.12", "2.1.0.10", false},  // not a number
      {"", "2.1.0.10", false},
      {"2.1.0.99999999999", "2.1.0.1", false},  // does not fit: not a number
      {"anything", "", true},                   // nothing installed to compare with
      // A version part is decimal digits only.
      {"2.1.0.$C", "2.1.0.10", false},
      {"2.1.0.0x0C", "2.1.0.10", false},
      {"2.1.0.+12", "2.1.0.10", false},
      {"2.1.0. 12", "2.1.0.10", false},
      {"2.1.0.-12", "2.1.0.10", false},
      {"2.1.0.12", "2.1.0.+10", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(IsNewVision(c.Offered, c.Installed), c.Newer) << c.Offered << " vs " << c.Installed;
}

TEST(UpdateRules, TakeVersionNumberConsumesOneNumber) {
  std::string s = "3.14";
  int v = 0;
  EXPECT_TRUE(launcher::TakeVersionNumber(s, v));
  EXPECT_EQ(v, 3);
  EXPECT_EQ(s, "14");
  EXPECT_TRUE(launcher::TakeVersionNumber(s, v));
  EXPECT_EQ(v, 14);
  EXPECT_EQ(s, "");
}

TEST(UpdateRules, ConfigurationUrl) {
  EXPECT_EQ(launcher::UpdateConfigUrl(""), "http://update.norvale.example/resource/001/258/NVOrbelle_UpdateConfig.ini");
  EXPECT_EQ(launcher::UpdateConfigUrl(" 127.0.0.1:8080 "),
            "http://127.0.0.1:8080/resource/001/258/NVOrbelle_UpdateConfig.ini");
  EXPECT_EQ(launcher::UpdateConfigUrl("https://127.0.0.1:8443"),
            "https://127.0.0.1:8443/resource/001/258/NVOrbelle_UpdateConfig.ini");
  EXPECT_EQ(launcher::UpdateConfigUrl(" HTTPS://staging.example/ "),
            "https://staging.example/resource/001/258/NVOrbelle_UpdateConfig.ini");
  EXPECT_EQ(launcher::UpdateConfigUrl("http://127.0.0.1:8080"),
            "http://127.0.0.1:8080/resource/001/258/NVOrbelle_UpdateConfig.ini");
  EXPECT_EQ(launcher::UpdateConfigUrl("https://"),
            "https://update.norvale.example/resource/001/258/NVOrbelle_UpdateConfig.ini");
}

TEST(UpdateRules, PublicKeysJoinBuiltInAndConfigured) {
  EXPECT_EQ(launcher::UpdatePublicKeys("", ""), "");
  EXPECT_EQ(launcher::UpdatePublicKeys(" ", "\t"), "");
  EXPECT_EQ(launcher::UpdatePublicKeys("A", ""), "A");
  EXPECT_EQ(launcher::UpdatePublicKeys("", " B,C "), "B,C");
  EXPECT_EQ(launcher::UpdatePublicKeys("A", "B"), "A,B");
}

TEST(UpdateRules, RolloutBucketIsKeptOnceDrawnAndOnlyBelowThePercentageTakes) {
  struct Case {
    const char* Kept;
    uint32_t Random;
    int Bucket;
    bool Drawn;
  } cases[] = {
      {"", 12345, 45, true},   // none kept: drawn
      {"0", 7, 0, false},      // kept buckets stay, whatever the random word
      {"99", 7, 99, false},    //
      {" 42 ", 7, 42, false},  // blanks from a hand-edited file
      {"100", 250, 50, true},  // spoilt ones are drawn anew
      {"-1", 250, 50, true},   //
      {"4x", 4294967295u, 95, true},
      {"007", 3, 3, true},  // three digits is no bucket
  };
  for (const Case& c : cases) {
    bool drawn = !c.Drawn;
    EXPECT_EQ(launcher::RolloutBucket(c.Kept, c.Random, drawn), c.Bucket) << c.Kept;
    EXPECT_EQ(drawn, c.Drawn) << c.Kept;
  }
  for (int bucket : {0, 29, 30, 99}) {
    EXPECT_FALSE(launcher::InRollout(bucket, 0)) << bucket;
    EXPECT_TRUE(launcher::InRollout(bucket, 100)) << bucket;
    EXPECT_EQ(launcher::InRollout(bucket, 30), bucket < 30) << bucket;
  }
}

// 200 installations, each keeping its bucket the way the launcher keeps it in its
// Orbelle.ini, drawn from the system's random source: at 30 % about 30 % take the offer,
// the same ones at every start; at 50 % those and more.
TEST(UpdateRules, StagedRolloutOverTwoHundredInstallations) {
  std::random_device random;
  std::vector<std::string> kept(200);  // each installation's RolloutBucket setting
  auto start = [&](int64_t percent) {
    std::set<size_t> taken;
    for (size_t i = 0; i < kept.size(); ++i) {
      bool drawn = false;
      int bucket = launcher::RolloutBucket(kept[i], random(), drawn);
      if (drawn) kept[i] = std::to_string(bucket);
      if (launcher::InRollout(bucket, percent)) taken.insert(i);
    }
    return taken;
  };
  std::set<size_t> first = start(30);
  // Binomial(200, 0.3): mean 60, standard deviation 6.5; 30 and 90 are more than four
  // and a half deviations away.
  EXPECT_GT(first.size(), 30u);
  EXPECT_LT(first.size(), 90u);
  for (int again = 0; again < 3; ++again) EXPECT_EQ(start(30), first);
  std::set<size_t> wider = start(50);
  EXPECT_TRUE(std::includes(wider.begin(), wider.end(), first.begin(), first.end()));
  EXPECT_GT(wider.size(), first.size());
  EXPECT_TRUE(start(0).empty());
  EXPECT_EQ(start(100).size(), 200u);
}

TEST(UpdateRules, HealthOfAStartOnTrial) {
  using launcher::TStartHealth;
  struct Case {
    bool Started, Exited;
    uint32_t Code, ElapsedMs;
    int64_t Seconds;
    TStartHealth Health;
  } cases[] = {
      {false, false, 0, 0, 10, TStartHealth::shFailed},  // could not be started
      {true, false, 0, 0, 10, TStartHealth::shPending},
      {true, false, 0, 9999, 10, TStartHealth::shPending},
      {true, false, 0, 10000, 10, TStartHealth::shHealthy},         // still running after N s
      {true, true, 0, 50, 10, TStartHealth::shHealthy},             // ended at once, with code 0
      {true, true, 3, 50, 10, TStartHealth::shFailed},              // exited with 3 at once
      {true, true, 0xC0000005u, 9999, 10, TStartHealth::shFailed},  // crashed just before
      {true, true, 1, 10000, 10, TStartHealth::shHealthy},          // had run N s
      {true, true, 1, 999, 1, TStartHealth::shFailed},
      {true, false, 0, 1000, 1, TStartHealth::shHealthy},
      {true, false, 0, 0xFFFFFFFFu, 3600, TStartHealth::shHealthy},
  };
  for (const Case& c : cases)
    EXPECT_EQ(launcher::JudgeStart(c.Started, c.Exited, c.Code, c.ElapsedMs, c.Seconds), c.Health)
        << c.Started << c.Exited << " " << c.Code << " " << c.ElapsedMs << " " << c.Seconds;
}

TEST(UpdateRules, BadVersionRecord) {
  std::string bad = launcher::AddBadVision("", "2.1.0.12");
  EXPECT_EQ(bad, "2.1.0.12");
  EXPECT_TRUE(launcher::IsBadVision(bad, "2.1.0.12"));
  EXPECT_TRUE(launcher::IsBadVision(bad, "2.1.0.012"));  // the same numbers
  EXPECT_FALSE(launcher::IsBadVision(bad, "2.1.0.13"));  // a newer one is taken
  EXPECT_FALSE(launcher::IsBadVision(bad, "2.1.0.1"));
  EXPECT_FALSE(launcher::IsBadVision(bad, "2.1.0.12.1"));
  EXPECT_FALSE(launcher::IsBadVision(bad, "2.1.0"));
  EXPECT_FALSE(launcher::IsBadVision("", "2.1.0.12"));
  EXPECT_EQ(launcher::AddBadVision(bad, "2.1.0.12"), "2.1.0.12");  // once
  EXPECT_EQ(launcher::AddBadVision(" 2.1.0.12 ,, x ", "2.1.0.13"), "2.1.0.12,x,2.1.0.13");
  EXPECT_TRUE(launcher::IsBadVision("x", "x"));  // no version: only itself
  EXPECT_FALSE(launcher::IsBadVision("x", "y"));
  EXPECT_EQ(launcher::AddBadVision(bad, "1,2"), "2.1.0.12");
  // Only the newest are kept.
  std::string many;
  for (int i = 1; i <= 20; ++i) many = launcher::AddBadVision(many, "2.1.0." + std::to_string(i));
  EXPECT_FALSE(launcher::IsBadVision(many, "2.1.0.4"));
  EXPECT_TRUE(launcher::IsBadVision(many, "2.1.0.5"));
  EXPECT_TRUE(launcher::IsBadVision(many, "2.1.0.20"));
}
