// A package made by another writer (data/make_packages.py, Python's zlib at level 9,
// with LF, CR and CR LF line breaks and no final break) unpacks to the files it holds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PackageTestSupport.h"
#include "package/Decompression.h"
#include "support/TempDir.h"

using namespace packagetest;

TEST(VendorPackage, UnpacksEveryFileOfAForeignPackage) {
  testsupport::TempDir dir;
  std::string target = dir / "prog";
  package::TExtractReport r;
  EXPECT_EQ(package::DirectoryDecompression(target, PACKAGE_TEST_DATA "vendor.vtzip", &r), 4);
  EXPECT_TRUE(r.Issues.empty());
  std::string splash;
  for (int i = 0; i < 4; ++i)
    for (int b = 0; b < 256; ++b) splash += static_cast<char>(b);
  EXPECT_EQ(ReadBytes(target + "\\readme.txt"), "Norvale Orbelle\r\nNorvale Orbelle\r\nNorvale Orbelle\r\n");
  EXPECT_EQ(ReadBytes(target + "\\Skin\\splash.png"), splash);
  EXPECT_EQ(ReadBytes(target + "\\Data\\Sub\\\xE9t\xE9.dat"), std::string(70000, '\xE9'));
  EXPECT_EQ(ReadBytes(target + "\\Data\\empty.bin"), "");
  EXPECT_EQ(ListTree(target),
            (std::vector<std::string>{"Data/Sub/\xE9t\xE9.dat", "Data/empty.bin", "Skin/splash.png", "readme.txt"}));
}
