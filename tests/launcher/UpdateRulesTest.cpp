#include <gtest/gtest.h>

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
