// Package downloads that break off and continue: Range and If-Range from the partial
// file and its saved validator, appended on 206, started anew on 200.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "base/Stream.h"
#include "download/HttpTask.h"
#include "platform/Files.h"
#include "support/TempDir.h"
#include "support/net/ScriptedServer.h"

using testsupport::TScriptedServer;

namespace {

constexpr uint64_t kSize = 50ull << 20;
constexpr uint64_t kHalf = kSize / 2 + 12345;  // not on any buffer boundary

std::string Url(const TScriptedServer& s) { return "http://127.0.0.1:" + s.PortText() + "/pkg.vtzip"; }

std::string Head(const std::string& status, uint64_t length, const std::string& etag, const std::string& extra = "") {
  return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(length) + "\r\nETag: " + etag + "\r\n" + extra +
         "Connection: close\r\n\r\n";
}

// The file holds PatternByte(0 .. size-1) exactly.
bool HoldsThePattern(const std::string& name, uint64_t size) {
  if (platform::FileSize(name) != static_cast<int64_t>(size)) return false;
  base::TFileStream f(name, platform::fmOpenRead | platform::fmShareDenyWrite);
  std::vector<char> got(1 << 20), want(got.size());
  for (uint64_t at = 0; at < size;) {
    int32_t n = f.Read(got.data(), static_cast<int32_t>(std::min<uint64_t>(got.size(), size - at)));
    if (n <= 0) return false;
    for (int32_t i = 0; i < n; ++i)
      want[static_cast<size_t>(i)] = TScriptedServer::PatternByte(at + static_cast<uint64_t>(i));
    if (std::memcmp(got.data(), want.data(), static_cast<size_t>(n)) != 0) return false;
    at += static_cast<uint64_t>(n);
  }
  return true;
}

}  // namespace

TEST(Resume, BrokenDownloadContinuesWithTheRestOnly) {
  testsupport::TempDir dir;
  std::string file = dir / "pkg.vtzip";
  TScriptedServer server;
  server.Expect("\r\n\r\n")
      .Send(Head("200 OK", kSize, "\"v1\""))
      .SendPattern(kHalf)
      .AcceptNext()  // the connection breaks half-way; the next attempt comes on a new one
      .Expect("If-Range: \"v1\"\r\n")
      .Expect("\r\n\r\n", 2)
      .Send(Head("206 Partial Content", kSize - kHalf, "\"v1\"",
                 "Content-Range: bytes " + std::to_string(kHalf) + "-" + std::to_string(kSize - 1) + "/" +
                     std::to_string(kSize) + "\r\n"))
      .SendPattern(kSize - kHalf, kHalf)
      .Close();
  server.Start();
  net::THTTPClient client;
  EXPECT_FALSE(download::DownloadResumable(client, Url(server), file));
  EXPECT_EQ(platform::FileSize(file), static_cast<int64_t>(kHalf));
  EXPECT_TRUE(platform::FileExists(file + download::kResumeSuffix));
  ASSERT_TRUE(download::DownloadResumable(client, Url(server), file));
  std::string got = server.Received();
  size_t second = got.find("GET /pkg.vtzip", 1);
  ASSERT_NE(second, std::string::npos);
  EXPECT_EQ(got.substr(0, second).find("Range:"), std::string::npos);
  EXPECT_NE(got.find("Range: bytes=" + std::to_string(kHalf) + "-\r\nIf-Range: \"v1\"\r\n", second), std::string::npos);
  EXPECT_EQ(got.find("Accept-Encoding", second), std::string::npos);
  EXPECT_TRUE(HoldsThePattern(file, kSize));
  EXPECT_FALSE(platform::FileExists(file + download::kResumeSuffix));
}

TEST(Resume, ChangedFileOnTheServerStartsFromZero) {
  struct TCase {
    const char* Name;
    std::string Answer;  // to the request for the rest
    uint64_t NewSize;
  } cases[] = {
      {"200 with another validator", Head("200 OK", 3000, "\"v2\""), 3000},
      {"416 for a range past the new end", Head("416 Range Not Satisfiable", 0, "\"v2\"") + "", 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    testsupport::TempDir dir;
    std::string file = dir / "pkg.vtzip";
    testsupport::WriteFile(file, std::string(5000, 'x'));
    testsupport::WriteFile(file + download::kResumeSuffix, "\"v1\"");
    TScriptedServer server;
    server.Expect("\r\n\r\n").Send(c.Answer);
    if (c.NewSize == 0) {
      // After a 416 the whole file is asked for again, without a range.
      server.AcceptNext().Expect("\r\n\r\n", 2).Send(Head("200 OK", 2000, "\"v2\"")).SendPattern(2000);
    } else {
      server.SendPattern(c.NewSize);
    }
    server.Close();
    server.Start();
    net::THTTPClient client;
    ASSERT_TRUE(download::DownloadResumable(client, Url(server), file));
    EXPECT_NE(server.Received().find("Range: bytes=5000-\r\nIf-Range: \"v1\"\r\n"), std::string::npos);
    EXPECT_TRUE(HoldsThePattern(file, c.NewSize ? c.NewSize : 2000));
    EXPECT_FALSE(platform::FileExists(file + download::kResumeSuffix));
  }
}

TEST(Resume, WithoutAValidatorNothingIsKeptAndAWrongRangeIsRefused) {
  testsupport::TempDir dir;
  std::string file = dir / "pkg.vtzip";
  {
    TScriptedServer server;
    server.Expect("\r\n\r\n")
        .Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\nConnection: close\r\n\r\n")
        .SendPattern(40)
        .Close();
    server.Start();
    net::THTTPClient client;
    EXPECT_FALSE(download::DownloadResumable(client, Url(server), file));
    EXPECT_FALSE(platform::FileExists(file));
    EXPECT_FALSE(platform::FileExists(file + download::kResumeSuffix));
  }
  testsupport::WriteFile(file, std::string(5000, 'x'));
  testsupport::WriteFile(file + download::kResumeSuffix, "\"v1\"");
  TScriptedServer server;
  server.Expect("\r\n\r\n")
      .Send(Head("206 Partial Content", 10, "\"v1\"", "Content-Range: bytes 0-9/10\r\n") + "0123456789")
      .Close();
  server.Start();
  net::THTTPClient client;
  EXPECT_FALSE(download::DownloadResumable(client, Url(server), file));
  EXPECT_EQ(platform::FileSize(file), 5000);  // nothing appended at the wrong place
}

TEST(Resume, AWholePackageFromTodayIsNotFetchedAgainButAPartIs) {
  testsupport::TempDir dir;
  std::string file = dir / "pkg.vtzip";
  // A package that came whole today (kept because it did not install): no request at all,
  // so a server that is not there cannot fail it.
  testsupport::WriteFile(file, "whole package");
  net::THTTPClient client;
  client.Timeout = 2000;
  EXPECT_TRUE(download::DownloadResumable(client, "http://127.0.0.1:1/pkg.vtzip", file));
  EXPECT_EQ(platform::FileSize(file), 13);
  // The same file with a marker is a part: the next attempt asks for the rest.
  testsupport::WriteFile(file + download::kResumeSuffix, "\"v1\"");
  TScriptedServer server;
  server.Expect("\r\n\r\n")
      .Send(Head("206 Partial Content", 3, "\"v1\"", "Content-Range: bytes 13-15/16\r\n") + "!!!")
      .Close();
  server.Start();
  EXPECT_TRUE(download::DownloadResumable(client, Url(server), file));
  EXPECT_NE(server.Received().find("Range: bytes=13-\r\n"), std::string::npos);
  EXPECT_EQ(platform::FileSize(file), 16);
}

TEST(Resume, APackageLargerThanItsLimitIsRefusedAndNothingIsKept) {
  // Announced too long, a part that with the rest would be too long, and a chunked body
  // that only shows its size as it comes.
  const std::string chunked =
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nETag: \"v1\"\r\nConnection: close\r\n\r\n";
  struct TCase {
    const char* Name;
    std::string Head;
    uint64_t Body;
    bool Part;
  } cases[] = {
      {"announced", Head("200 OK", 1001, "\"v1\""), 1001, false},
      {"rest after a part", Head("206 Partial Content", 600, "\"v1\"", "Content-Range: bytes 500-1099/1100\r\n"), 600,
       true},
      {"chunked", chunked + "3e9\r\n", 1001, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    testsupport::TempDir dir;
    std::string file = dir / "pkg.vtzip";
    if (c.Part) {
      testsupport::WriteFile(file, std::string(500, 'x'));
      testsupport::WriteFile(file + download::kResumeSuffix, "\"v1\"");
    }
    TScriptedServer server;
    server.Expect("\r\n\r\n").Send(c.Head).SendPattern(c.Body).Close();
    server.Start();
    net::THTTPClient client;
    bool tooLarge = false;
    EXPECT_FALSE(download::DownloadResumable(client, Url(server), file, 1000, &tooLarge));
    EXPECT_TRUE(tooLarge);
    EXPECT_FALSE(platform::FileExists(file));
    EXPECT_FALSE(platform::FileExists(file + download::kResumeSuffix));
  }
  // Exactly the limit is fine, in one piece and chunked.
  for (const std::string& head : {Head("200 OK", 1000, "\"v1\""), chunked + "3e8\r\n"}) {
    testsupport::TempDir dir;
    std::string file = dir / "pkg.vtzip";
    TScriptedServer server;
    server.Expect("\r\n\r\n").Send(head).SendPattern(1000);
    if (head == chunked + "3e8\r\n") server.Send("\r\n0\r\n\r\n");
    server.Close();
    server.Start();
    net::THTTPClient client;
    bool tooLarge = true;
    ASSERT_TRUE(download::DownloadResumable(client, Url(server), file, 1000, &tooLarge));
    EXPECT_FALSE(tooLarge);
    EXPECT_TRUE(HoldsThePattern(file, 1000));
  }
}
