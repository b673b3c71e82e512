#include <gtest/gtest.h>

#include <string>

#include "base/Exceptions.h"
#include "base/Stream.h"
#include "base/Strings.h"
#include "support/TempDir.h"

using namespace base;

TEST(Stream, MemoryStreamGrowsSeeksAndTruncates) {
  TMemoryStream m;
  std::string data(20000, 'x');
  m.WriteBuffer(data.data(), static_cast<int32_t>(data.size()));
  EXPECT_EQ(m.Size(), 20000);
  m.SetPosition(19998);
  char buf[16];
  EXPECT_EQ(m.Read(buf, 8), 2);
  EXPECT_EQ(m.Read(buf, 8), 0);
  m.SetSize(10);
  EXPECT_EQ(m.Position(), 10);
  m.SetPosition(0);
  EXPECT_THROW(m.ReadBuffer(buf, 11), EReadError);
  m.Seek(-2, TSeekOrigin::soEnd);
  EXPECT_EQ(m.Position(), 8);
  // Writing past the end after a seek extends with the written bytes.
  m.SetPosition(10);
  m.WriteBuffer("ab", 2);
  EXPECT_EQ(m.Size(), 12);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(m.Memory()) + 10, 2), "ab");
}

TEST(Stream, StringStreamAndCopyFrom) {
  TStringStream src("hello world");
  TStringStream dst;
  src.SetPosition(6);
  EXPECT_EQ(dst.CopyFrom(src, 5), 5);
  EXPECT_EQ(dst.DataString(), "world");
  TStringStream all;
  EXPECT_EQ(all.CopyFrom(src, 0), 11);  // 0 copies everything from the start
  EXPECT_EQ(all.DataString(), "hello world");
  src.SetPosition(8);
  EXPECT_THROW(dst.CopyFrom(src, 5), EReadError);
  src.SetPosition(0);
  EXPECT_EQ(src.ReadString(100), "hello world");
}

TEST(Stream, FileStreamCreateOpenAndErrors) {
  testsupport::TempDir dir;
  std::string name = dir / "data.bin";
  {
    TFileStream f(name, fmCreate);
    f.WriteBuffer("0123456789", 10);
    f.SetSize(4);
  }
  {
    TFileStream f(name, platform::fmOpenReadWrite);
    EXPECT_EQ(f.Size(), 4);
    f.Seek(0, TSeekOrigin::soEnd);
    f.WriteBuffer("xy", 2);
  }
  EXPECT_EQ(testsupport::ReadFile(name), "0123xy");
  {
    TFileStream f(name, fmCreate);  // truncates
  }
  EXPECT_EQ(testsupport::ReadFile(name), "");

  std::string missing = dir / "nope.bin";
  try {
    TFileStream f(missing, platform::fmOpenRead);
    FAIL();
  } catch (const EFOpenError& e) {
    std::string msg = e.what();
    EXPECT_EQ(msg.rfind("Cannot open file \"" + missing + "\". ", 0), 0u) << msg;
    EXPECT_GT(msg.size(), missing.size() + 20);  // the system's reason follows
  }
  EXPECT_THROW(TFileStream(dir / "no\\such\\dir\\f.bin", fmCreate), EFCreateError);
}

TEST(Stream, WideFileNames) {
  testsupport::TempDir dir;
  std::u16string name = base::Utf8ToWide(dir / "Grüße.txt");
  {
    TFileStream f(name, fmCreate);
    f.WriteBuffer("w", 1);
  }
  EXPECT_TRUE(platform::FileExists(name));
  EXPECT_TRUE(platform::RemoveFile(name));
  EXPECT_FALSE(platform::FileExists(name));
}
