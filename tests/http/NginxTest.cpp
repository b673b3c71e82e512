// THTTPClient against a real nginx started on loopback by tests/support/http/with-nginx.
#include <gtest/gtest.h>

#include <string>

#include "base/DateTime.h"
#include "base/Stream.h"
#include "net/HTTPApp.h"
#include "net/HttpClient.h"
#include "platform/Process.h"

using net::THTTPClient;

namespace {

std::string Port() { return platform::GetEnv("ORBELLE_TEST_NGINX_PORT"); }
std::string Url(const std::string& path) { return "http://127.0.0.1:" + Port() + path; }

#define REQUIRE_NGINX() \
  if (Port().empty()) GTEST_SKIP() << "nginx is not running (run through with-nginx)"

std::string Get(THTTPClient& client, const std::string& path) {
  base::TStringStream body;
  EXPECT_TRUE(client.Get(Url(path), "", &body)) << path;
  return body.DataString();
}

}  // namespace

TEST(Nginx, TwoGetsShareOneConnection) {
  REQUIRE_NGINX();
  THTTPClient client;
  std::string first = Get(client, "/conn");
  std::string second = Get(client, "/conn");
  EXPECT_FALSE(first.empty());
  EXPECT_EQ(first, second);  // nginx's connection number: the same connection
  EXPECT_TRUE(client.Reused);
  EXPECT_GT(client.KeepAliveRemaining(), 10);  // nginx announced timeout=15
}

TEST(Nginx, LargeFileArrivesExactlyWithProgress) {
  REQUIRE_NGINX();
  THTTPClient client;
  struct TLast {
    int64_t Position = 0, Total = 0;
    int32_t Calls = 0;
    bool Monotonic = true;
  } last;
  client.OnProgress = {[](void* ctx, base::TObject*, int64_t pos, int64_t total) {
                         auto* l = static_cast<TLast*>(ctx);
                         if (pos < l->Position) l->Monotonic = false;
                         l->Position = pos;
                         l->Total = total;
                         ++l->Calls;
                       },
                       &last};
  std::string body = Get(client, "/big.bin");
  ASSERT_EQ(body.size(), 1u << 20);
  bool same = true;
  for (size_t i = 0; i < body.size() && same; ++i) same = static_cast<unsigned char>(body[i]) == (i * 7) % 251;
  EXPECT_TRUE(same);
  EXPECT_TRUE(last.Monotonic);
  EXPECT_EQ(last.Position, 1 << 20);
  EXPECT_EQ(last.Total, 1 << 20);
  EXPECT_GT(last.Calls, 10);
}

TEST(Nginx, GzipChunkedTextDecodesToTheFile) {
  REQUIRE_NGINX();
  THTTPClient client;
  std::string expected;
  for (int i = 0; i < 200; ++i) expected += "line " + std::to_string(i) + " of the text file\n";
  EXPECT_EQ(Get(client, "/text.txt"), expected);
  EXPECT_EQ(client.GetHeaderValue("Content-Encoding", ':'), "gzip");
  EXPECT_TRUE(client.IsChunked());
}

TEST(Nginx, ConditionalGetRedirectAndCookies) {
  REQUIRE_NGINX();
  THTTPClient client;
  base::TDateTime modified = base::UnixToDateTime(784111777) + net::LocalOffset();
  base::TStringStream body;
  ASSERT_TRUE(client.Get(Url("/dated.txt"), "", &body, modified));
  EXPECT_EQ(client.StatusCode, 304);
  EXPECT_EQ(body.DataString(), "");
  ASSERT_TRUE(client.Get(Url("/dated.txt"), "", &body, modified - 1));
  EXPECT_EQ(body.DataString(), "dated\n");
  EXPECT_EQ(base::DateTimeToUnix(client.LastModified() - net::LocalOffset()), 784111777);

  EXPECT_EQ(Get(client, "/redirect").substr(0, 27), "line 0 of the text file\nlin");
  EXPECT_EQ(Get(client, "/cookie"), "ok");
  EXPECT_EQ(Get(client, "/echo-cookie"), "nv=42");
}
