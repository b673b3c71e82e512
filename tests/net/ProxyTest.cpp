#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "net/QZSocketConsts.h"
#include "net/QZTCPClient.h"
#include "support/net/RealServers.h"
#include "support/net/ScriptedServer.h"

namespace {

using testsupport::TScriptedServer;

std::string Bytes(std::initializer_list<int> list) {
  std::string s;
  for (int b : list) s += static_cast<char>(b);
  return s;
}

struct TProxiedClient {
  net::TQZTCPClient Client;
  int Connects = 0;
  void Connected(base::TObject*) { ++Connects; }

  TProxiedClient(net::TQZProxyType type, const std::string& proxyPort, const std::string& user = {},
                 const std::string& password = {}) {
    net::TQZProxyInfo info;
    info.ProxyType = type;
    info.Host = "127.0.0.1";
    info.Port = proxyPort;
    info.UserName = user;
    info.Password = password;
    Client.Proxy().Assign(info);
    Client.OnConnect = base::Method<&TProxiedClient::Connected>(this);
  }
};

std::string ReceiveAll(net::TQZTCPClient& client, size_t atMost) {
  std::string got;
  char buf[256];
  while (got.size() < atMost && client.WaitForData(2000)) {
    int n = client.Receive(buf, sizeof buf);
    if (n <= 0) break;
    got.append(buf, static_cast<size_t>(n));
  }
  return got;
}

TEST(HttpConnect, Status200OpensTheTunnel) {
  TScriptedServer proxy;
  proxy.Expect("\r\n\r\n").Send("HTTP/1.0 200 Connection established\r\nProxy-agent: test\r\n\r\nTUNNEL").Close();
  proxy.Start();
  TProxiedClient p(net::ptHTTP, proxy.PortText(), "user", "pa:ss");
  p.Client.SetHost("target.example");
  p.Client.SetPort("8443");
  ASSERT_TRUE(p.Client.Connect());
  EXPECT_EQ(p.Connects, 1);
  EXPECT_EQ(ReceiveAll(p.Client, 6), "TUNNEL");
  EXPECT_EQ(proxy.Received(),
            "CONNECT target.example:8443 HTTP/1.0\r\n"
            "Proxy-Authorization: Basic dXNlcjpwYTpzcw==\r\n"
            "\r\n");
}

TEST(HttpConnect, OtherStatusFailsClosesAndDrains) {
  for (const char* answer : {"HTTP/1.0 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic\r\n\r\n",
                             "HTTP/1.0 2000 Odd\r\n\r\n", "garbage\r\n\r\n", "HTTP/1.0\r\n\r\n"}) {
    SCOPED_TRACE(answer);
    TScriptedServer proxy;
    proxy.Expect("\r\n\r\n").Send(answer).Expect("never");
    proxy.Start();
    TProxiedClient p(net::ptHTTP, proxy.PortText());
    p.Client.SetHost("127.0.0.1");
    p.Client.SetPort("80");
    EXPECT_FALSE(p.Client.Connect());
    EXPECT_FALSE(p.Client.Connected());
    EXPECT_EQ(p.Connects, 0);
    EXPECT_EQ(proxy.Received(), "CONNECT 127.0.0.1:80 HTTP/1.0\r\n\r\n");
  }
}

TEST(Socks5, DomainReplyReadsExactlyItsAddress) {
  TScriptedServer proxy;
  proxy.ExpectBytes(3)
      .Send(Bytes({5, 0}))
      .ExpectBytes(3 + 5 + 7 + 2)
      .Send(Bytes({5, 0, 0, 3, 10}) + "abcdefghij" + Bytes({0x1F, 0x90}) + "TAIL")
      .Close();
  proxy.Start();
  TProxiedClient p(net::ptSocks5, proxy.PortText());
  p.Client.SetHost("example");
  p.Client.SetPort("8080");
  ASSERT_TRUE(p.Client.Connect());
  EXPECT_EQ(p.Connects, 1);
  EXPECT_EQ(ReceiveAll(p.Client, 4), "TAIL");
  EXPECT_EQ(proxy.Received(), Bytes({5, 1, 0}) + Bytes({5, 1, 0, 3, 7}) + "example" + Bytes({0x1F, 0x90}));
}

TEST(Socks5, UserPasswordExchange) {
  TScriptedServer proxy;
  proxy.ExpectBytes(3)
      .Send(Bytes({5, 2}))
      .ExpectBytes(3 + 11)
      .Send(Bytes({1, 0}))
      .ExpectBytes(3 + 11 + 7 + 2)
      .Send(Bytes({5, 0, 0, 1, 127, 0, 0, 1, 0, 80}))
      .Expect("GET");
  proxy.Start();
  TProxiedClient p(net::ptSocks5, proxy.PortText(), "user", "secret");
  p.Client.SetHost("h");
  p.Client.SetPort("80");
  ASSERT_TRUE(p.Client.Connect());
  EXPECT_EQ(p.Client.SendString("GET"), 3);
  ASSERT_TRUE(proxy.WaitDone());
  EXPECT_EQ(proxy.Received(), Bytes({5, 1, 2}) + Bytes({1, 4}) + "user" + Bytes({6}) + "secret" +
                                  Bytes({5, 1, 0, 3, 1}) + "h" + Bytes({0, 80}) + "GET");
}

TEST(Socks5, RefusalsRaiseTheFixedTexts) {
  struct Case {
    std::string User;
    std::string Script;  // the proxy's answers, one per step
    const char* Message;
  } cases[] = {
      {"", Bytes({5, 2}), net::sSocksInvalidAuthMethod},  // only method 0 was offered
      {"", Bytes({5, 0xFF}), net::sSocksInvalidAuthMethod},
      {"u", Bytes({5, 2}) + Bytes({1, 1}), net::sSocksAuthError},
      {"", Bytes({5, 0}) + Bytes({5, 1, 0, 1, 0}), net::sSocksGeneralFailure},
      {"", Bytes({5, 0}) + Bytes({5, 2, 0, 1, 0}), net::sSocksNotAllowed},
      {"", Bytes({5, 0}) + Bytes({5, 3, 0, 1, 0}), net::sSocksNetUnreachable},
      {"", Bytes({5, 0}) + Bytes({5, 4, 0, 1, 0}), net::sSocksHostUnreachable},
      {"", Bytes({5, 0}) + Bytes({5, 5, 0, 1, 0}), net::sSocksConnectionRefused},
      {"", Bytes({5, 0}) + Bytes({5, 6, 0, 1, 0}), net::sSocksTTLExpired},
      {"", Bytes({5, 0}) + Bytes({5, 7, 0, 1, 0}), net::sSocksCommandNotSupported},
      {"", Bytes({5, 0}) + Bytes({5, 8, 0, 1, 0}), net::sSocksAddressNotSupported},
      {"", Bytes({5, 0}) + Bytes({5, 9, 0, 1, 0}), net::sSocksUnknownError},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Message);
    TScriptedServer proxy;
    // Answer each request after it arrived: greeting, (auth,) connect request.
    proxy.ExpectBytes(3).Send(c.Script.substr(0, 2));
    size_t at = 2;
    if (!c.User.empty()) proxy.ExpectBytes(3 + 3 + c.User.size()).Send(c.Script.substr(at, 2)), at += 2;
    if (at < c.Script.size()) proxy.ExpectBytes(4).Wait(100).Send(c.Script.substr(at));
    proxy.Expect("never");
    proxy.Start();
    TProxiedClient p(net::ptSocks5, proxy.PortText(), c.User, "");
    p.Client.SetHost("h");
    p.Client.SetPort("1");
    try {
      p.Client.Connect();
      ADD_FAILURE() << "no exception";
    } catch (const net::ESocksProxyError& e) {
      EXPECT_EQ(e.Message(), c.Message);
    }
    EXPECT_FALSE(p.Client.Connected());
    EXPECT_EQ(proxy.Received().substr(0, 3), Bytes({5, 1, c.User.empty() ? 0 : 2}));
  }
}

TEST(Socks5, SilentProxyTimesOutAndShortReplyFails) {
  {
    TScriptedServer proxy;
    proxy.Stall();
    proxy.Start();
    TProxiedClient p(net::ptSocks5, proxy.PortText());
    p.Client.Socket().ConnectTimeout = 300;
    p.Client.SetHost("h");
    p.Client.SetPort("1");
    auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(
        {
          try {
            p.Client.Connect();
          } catch (const net::ESocksProxyError& e) {
            EXPECT_EQ(e.Message(), "timeout");
            throw;
          }
        },
        net::ESocksProxyError);
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(ms, 2000);
  }
  {
    TScriptedServer proxy;
    proxy.ExpectBytes(3).Send(Bytes({5})).Close();
    proxy.Start();
    TProxiedClient p(net::ptSocks5, proxy.PortText());
    p.Client.SetHost("h");
    p.Client.SetPort("1");
    EXPECT_FALSE(p.Client.Connect());
    EXPECT_FALSE(p.Client.Connected());
  }
}

// --- through real proxies to a loopback echo service ---------------------------------

// Sends `total` bytes in pieces and reads each piece back, checking every byte.
void RoundTrip(net::TQZTCPClient& client, size_t total) {
  std::string piece(64 * 1024, '\0');
  std::string back(piece.size(), '\0');
  uint32_t seed = 12345;
  size_t done = 0;
  while (done < total) {
    size_t n = std::min(piece.size(), total - done);
    for (size_t i = 0; i < n; ++i) {
      seed = seed * 1103515245u + 12345u;
      piece[i] = static_cast<char>(seed >> 16);
    }
    size_t sent = 0;
    while (sent < n) {
      int r = client.Send(piece.data() + sent, static_cast<int>(n - sent));
      ASSERT_GT(r, 0) << "send failed after " << done + sent << " bytes";
      sent += static_cast<size_t>(r);
    }
    size_t got = 0;
    while (got < n) {
      ASSERT_TRUE(client.WaitForData(10000)) << "no echo after " << done + got << " bytes";
      int r = client.Receive(back.data() + got, static_cast<int>(n - got));
      ASSERT_GT(r, 0);
      got += static_cast<size_t>(r);
    }
    ASSERT_EQ(back.compare(0, n, piece, 0, n), 0) << "corrupted data after " << done << " bytes";
    done += n;
  }
}

struct RealProxyCase {
  const char* Name;
  net::TQZProxyType Type;
  std::string (*Port)();
  bool WithCredentials;
};

class RealProxy : public ::testing::TestWithParam<RealProxyCase> {};

TEST_P(RealProxy, TunnelCarriesTenMegabytesBothWays) {
  const auto& c = GetParam();
  std::string port = c.Port();
  if (port.empty()) GTEST_SKIP() << c.Name << " is not running (run through tests/support/net/with-servers)";
  testsupport::TEchoServer echo;
  TProxiedClient p(c.Type, port, c.WithCredentials ? testsupport::ProxyUser() : "",
                   c.WithCredentials ? testsupport::ProxyPassword() : "");
  p.Client.SetHost("127.0.0.1");
  p.Client.SetPort(echo.PortText());
  ASSERT_TRUE(p.Client.Connect());
  EXPECT_EQ(p.Connects, 1);
  RoundTrip(p.Client, 10 * 1024 * 1024);
  EXPECT_EQ(echo.Echoed(), 10u * 1024 * 1024);
}

class RealProxyWithCredentials : public RealProxy {};

TEST_P(RealProxyWithCredentials, WrongCredentialsFail) {
  const auto& c = GetParam();
  std::string port = c.Port();
  if (port.empty()) GTEST_SKIP() << c.Name << " is not running";
  testsupport::TEchoServer echo;
  for (const char* user : {"", "wrong"}) {
    SCOPED_TRACE(user);
    TProxiedClient p(c.Type, port, user, "wrong");
    p.Client.SetHost("127.0.0.1");
    p.Client.SetPort(echo.PortText());
    if (c.Type == net::ptHTTP) {
      EXPECT_FALSE(p.Client.Connect());
    } else {
      try {
        p.Client.Connect();
        ADD_FAILURE() << "no exception";
      } catch (const net::ESocksProxyError& e) {
        EXPECT_EQ(e.Message(), *user ? net::sSocksAuthError : net::sSocksInvalidAuthMethod);
      }
    }
    EXPECT_FALSE(p.Client.Connected());
  }
}

INSTANTIATE_TEST_SUITE_P(Servers, RealProxy,
                         ::testing::Values(RealProxyCase{"tinyproxy", net::ptHTTP, testsupport::HttpProxyPort, false},
                                           RealProxyCase{"tinyproxy with BasicAuth", net::ptHTTP,
                                                         testsupport::HttpProxyAuthPort, true},
                                           RealProxyCase{"microsocks", net::ptSocks5, testsupport::SocksPort, false},
                                           RealProxyCase{"microsocks with user and password", net::ptSocks5,
                                                         testsupport::SocksAuthPort, true}),
                         [](const auto& info) { return std::to_string(info.index); });
INSTANTIATE_TEST_SUITE_P(Servers, RealProxyWithCredentials,
                         ::testing::Values(RealProxyCase{"tinyproxy with BasicAuth", net::ptHTTP,
                                                         testsupport::HttpProxyAuthPort, true},
                                           RealProxyCase{"microsocks with user and password", net::ptSocks5,
                                                         testsupport::SocksAuthPort, true}),
                         [](const auto& info) { return std::to_string(info.index); });

}  // namespace
