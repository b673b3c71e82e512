#include <gtest/gtest.h>

#include <string>

#include "base/Exceptions.h"
#include "base/Strings.h"
#include "platform/Files.h"
#include "support/TempDir.h"
#include "text/TextStreams.h"
#include "text/WideFileStream.h"

using namespace text;

namespace {

// A name with characters no 8-bit code page holds all of: Cyrillic, CJK, a pair.
const std::u16string kForeignName = u"\u0436\u0443\u0440\u043D\u0430\u043B \u65E5\u672C \U0001F600.txt";

TEST(WideFileStream, CreateOpenAndErrors) {
  testsupport::TempDir dir;
  std::u16string folder = base::AnsiToWide(dir.Path());
  std::u16string name = folder + kForeignName;
  {
    TWideFileStream f(name, fmCreateWide);
    TRkTextStream s(&f, kCodePageUtf8, rkfUtf8Mark, rkaWrite);
    EXPECT_TRUE(s.WriteString(u"caf\u00E9"));
  }
  EXPECT_TRUE(platform::FileExists(name));
  {
    TWideFileStream f(name, platform::fmOpenRead | platform::fmShareDenyWrite);
    EXPECT_EQ(f.Size(), 8);
    TRkTextStream s(&f, 1252, 0, rkaRead);
    char16_t buf[8];
    EXPECT_EQ(s.Read(buf, sizeof buf), 8);
    EXPECT_EQ(std::u16string(buf, 4), u"caf\u00E9");
  }
  {
    TWideFileStream f(name, platform::fmOpenReadWrite);
    f.Seek(0, base::TSeekOrigin::soEnd);
    f.WriteBuffer("!", 1);
  }
  // Create on an existing file empties it.
  {
    TWideFileStream f(name, fmCreateWide);
    EXPECT_EQ(f.Size(), 0);
    EXPECT_EQ(f.FileName(), name);
  }

  std::u16string missing = u"missing \u0436.txt";
  try {
    TWideFileStream f(folder + missing, platform::fmOpenRead);
    ADD_FAILURE() << "no exception";
  } catch (const base::EFOpenError& e) {
    std::string prefix = "Cannot open file \"" + base::WideToAnsi(folder + missing) + "\". ";
    EXPECT_EQ(e.Message().rfind(prefix, 0), 0u) << e.Message();
    EXPECT_GT(e.Message().size(), prefix.size());  // with the system's reason
  }
  try {
    TWideFileStream f(folder + u"no such folder\\x.txt", fmCreateWide);
    ADD_FAILURE() << "no exception";
  } catch (const base::EFCreateError& e) {
    EXPECT_EQ(e.Message().rfind("Cannot create file \"", 0), 0u) << e.Message();
  }
}

// A relative name is reported by its full path.
TEST(WideFileStream, OpenErrorNamesTheFullPath) {
  try {
    TWideFileStream f(u"no-such-file-\u0436.txt", platform::fmOpenRead);
    ADD_FAILURE() << "no exception";
  } catch (const base::EFOpenError& e) {
    std::string full = base::WideToAnsi(platform::ExpandFileName(u"no-such-file-\u0436.txt"));
    EXPECT_NE(full, base::WideToAnsi(u"no-such-file-\u0436.txt"));
    EXPECT_EQ(e.Message().rfind("Cannot open file \"" + full + "\". ", 0), 0u) << e.Message();
  }
}

}  // namespace
