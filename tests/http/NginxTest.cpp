// THTTPClient against a real nginx started on loopback by tests/support/http/with-nginx.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "base/DateTime.h"
#include "base/Stream.h"
#include "net/HTTPApp.h"
#include "net/HttpClient.h"
#include "net/QZTCPClient.h"
#include "net/SSLClient.h"
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
  EXPECT_GE(last.Calls, 4);  // one per read of up to BufferSize (256 KiB) bytes
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

namespace {

std::string TlsPort() { return platform::GetEnv("ORBELLE_TEST_NGINX_TLS_PORT"); }

#define REQUIRE_NGINX_TLS() \
  if (TlsPort().empty()) GTEST_SKIP() << "nginx has no TLS port (openssl missing)"

// Trusts the run's test CA for one test.
struct TTrustTestCA {
  TTrustTestCA() { net::TSSLClient::SetExtraCAFile(platform::GetEnv("ORBELLE_TEST_CA_FILE")); }
  ~TTrustTestCA() { net::TSSLClient::SetExtraCAFile(""); }
};

// A TLS session with a given server name over a fresh loopback connection; the answer
// to GET /sni, or empty when the handshake was refused (the cause in error).
std::string AskServerName(const std::string& name, std::string& error) {
  net::TQZTCPClient tcp;
  tcp.SetHost("127.0.0.1");
  tcp.SetPort(TlsPort());
  if (!tcp.Connect()) return "no connection";
  net::TSSLClient ssl(tcp.Socket().Handle(), name);
  if (!ssl.Connect()) {
    error = ssl.CertificateError();
    return {};
  }
  std::string request = "GET /sni HTTP/1.0\r\nHost: " + name + "\r\n\r\n";
  ssl.Write(request.data(), static_cast<int>(request.size()));
  std::string answer;
  char buf[4096];
  for (int n; (n = ssl.Read(buf, sizeof buf)) > 0;) answer.append(buf, static_cast<size_t>(n));
  size_t body = answer.find("\r\n\r\n");
  return body == std::string::npos ? answer : answer.substr(body + 4);
}

}  // namespace

TEST(NginxTls, LargeChunkedBodyThenPlainHttpToAnotherPort) {
  REQUIRE_NGINX_TLS();
  TTrustTestCA trust;
  THTTPClient client;
  base::TMemoryStream body;
  ASSERT_TRUE(client.Get("https://localhost:" + TlsPort() + "/large64.txt", "", &body));
  EXPECT_TRUE(client.IsChunked());
  EXPECT_EQ(client.GetHeaderValue("Content-Encoding", ':'), "gzip");
  ASSERT_EQ(body.Size(), int64_t{64} << 20);
  // The file repeats 1000 numbered lines of 53 bytes; check every line start.
  const char* p = reinterpret_cast<const char*>(body.Memory());
  bool same = true;
  char expected[16];
  for (int64_t at = 0; at + 8 <= body.Size() && same; at += 53) {
    std::snprintf(expected, sizeof expected, "%08d", static_cast<int>((at / 53) % 1000));
    same = std::memcmp(p + at, expected, 8) == 0;
  }
  EXPECT_TRUE(same);
  // The same client, plain http to the other port: no TLS on that connection.
  EXPECT_EQ(Get(client, "/conn").empty(), false);
  EXPECT_FALSE(client.TcpClient().SSLActive());
  base::TStringStream sni;
  ASSERT_TRUE(client.Get("https://localhost:" + TlsPort() + "/sni", "", &sni));
  EXPECT_EQ(sni.DataString(), "localhost");
}

TEST(NginxTls, ServerNameChoosesTheCertificateAndItsNameIsChecked) {
  REQUIRE_NGINX_TLS();
  TTrustTestCA trust;
  std::string error;
  // Each name passes only with the certificate made for it: the server saw the name.
  EXPECT_EQ(AskServerName("one.orbelle.test", error), "one.orbelle.test");
  EXPECT_EQ(AskServerName("two.orbelle.test", error), "two.orbelle.test");
  // A server that asks for a client certificate gets none and goes on.
  EXPECT_EQ(AskServerName("askcert.orbelle.test", error), "askcert.orbelle.test");
  EXPECT_EQ(error, "");
  // A certificate from a CA nobody trusts.
  EXPECT_EQ(AskServerName("untrusted.orbelle.test", error), "");
  EXPECT_NE(error, "");
  // A name the server has no certificate for: the default one (localhost) does not match.
  error.clear();
  EXPECT_EQ(AskServerName("three.orbelle.test", error), "");
  EXPECT_NE(error, "");
}

TEST(NginxTls, WrongHostNameAndUnknownCAAreRefused) {
  REQUIRE_NGINX_TLS();
  base::TStringStream body;
  {
    THTTPClient client;  // the test CA is not trusted
    EXPECT_FALSE(client.Get("https://localhost:" + TlsPort() + "/sni", "", &body));
  }
  TTrustTestCA trust;
  THTTPClient client;
  // The certificate names localhost, not the address.
  EXPECT_FALSE(client.Get("https://127.0.0.1:" + TlsPort() + "/sni", "", &body));
  EXPECT_TRUE(client.Get("https://localhost:" + TlsPort() + "/sni", "", &body));
}
