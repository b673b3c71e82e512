// THTTPClient against servers that lie, cut answers short or try to steer the client:
// every such answer must fail the request (never a shorter or altered body reported as
// complete) and nothing the server sends may reach the next request's head.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/Stream.h"
#include "base/Strings.h"
#include "net/CookieManager.h"
#include "net/HttpClient.h"
#include "net/QZTCPClient.h"
#include "platform/Clock.h"
#include "platform/Thread.h"
#include "support/net/ScriptedServer.h"

using net::THTTPClient;
using testsupport::TScriptedServer;

namespace {

std::string Url(const TScriptedServer& s, const std::string& path) { return "http://127.0.0.1:" + s.PortText() + path; }

std::string Compress(const std::string& data, int windowBits) {
  z_stream z{};
  deflateInit2(&z, 6, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, static_cast<uLong>(data.size())) + 32, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(out.size() - z.avail_out);
  deflateEnd(&z);
  return out;
}

std::string Text() {
  std::string text;
  for (int i = 0; i < 3000; ++i) text += "line " + std::to_string(i) + "\n";
  return text;
}

std::string Answer(const std::string& headers, const std::string& body) {
  return "HTTP/1.1 200 OK\r\n" + headers + "\r\n" + body;
}

std::string Sized(const std::string& encoding, const std::string& body) {
  return Answer("Content-Encoding: " + encoding + "\r\nContent-Length: " + std::to_string(body.size()) +
                    "\r\nConnection: close\r\n",
                body);
}

struct TAnswerCase {
  const char* Name;
  std::string Bytes;  // what the server sends after the request, then it closes
  bool Ok;
  std::string Body;  // expected on success
};

std::vector<TAnswerCase> AnswerCases() {
  const std::string a(26, 'a'), text = Text();
  const std::string gz = Compress(text, 15 + 16), zl = Compress(text, 15), raw = Compress(text, -15);
  std::string badCrc = gz;
  badCrc[badCrc.size() - 6] ^= 0x55;  // inside the CRC32 of the trailer
  std::string badData = gz;
  badData[gz.size() / 2] ^= 0x55;
  const std::string chunked = "Transfer-Encoding: chunked\r\nConnection: close\r\n";
  return {
      {"chunked body ends at a chunk boundary", Answer(chunked, "1A\r\n" + a + "\r\n"), false, ""},
      {"chunked body ends inside a size line", Answer(chunked, "1A\r\n" + a + "\r\n1"), false, ""},
      {"chunked body ends inside chunk data", Answer(chunked, "1A\r\n" + a.substr(0, 9)), false, ""},
      {"chunk size that is no number", Answer(chunked, "zz\r\n" + a + "\r\n0\r\n\r\n"), false, ""},
      {"chunk data without its CR LF", Answer(chunked, "1A\r\n" + a + "XY0\r\n\r\n"), false, ""},
      {"chunked body with a last chunk", Answer(chunked, "1A\r\n" + a + "\r\n0\r\n\r\n"), true, a},
      {"Content-Length that is no number", Answer("Content-Length: abc\r\nConnection: close\r\n", "hello"), false, ""},
      {"Content-Length with a sign", Answer("Content-Length: -5\r\nConnection: close\r\n", "hello"), false, ""},
      {"two Content-Lengths that disagree",
       Answer("Content-Length: 5\r\nContent-Length: 6\r\nConnection: close\r\n", "hello!"), false, ""},
      {"Content-Length past 64 bits", Answer("Content-Length: 99999999999999999999\r\nConnection: close\r\n", "hello"),
       false, ""},
      {"Content-Length above 2^31 - 1, body cut short",
       Answer("Content-Length: 3000000000\r\nConnection: close\r\n", "hello"), false, ""},
      {"body without a length ends at the close", Answer("Connection: close\r\n", "hello"), true, "hello"},
      {"gzip body", Sized("gzip", gz), true, text},
      {"gzip body with a wrong CRC32", Sized("gzip", badCrc), false, ""},
      {"gzip body with corrupt data", Sized("gzip", badData), false, ""},
      {"gzip body cut short", Sized("gzip", gz.substr(0, gz.size() - 20)), false, ""},
      {"gzip body with bytes after its end", Sized("gzip", gz + "junk"), false, ""},
      {"deflate body (zlib stream)", Sized("deflate", zl), true, text},
      {"deflate body (raw deflate data)", Sized("deflate", raw), true, text},
      {"deflate body of junk", Sized("deflate", "\x78\x9c" + std::string(5000, '\xff')), false, ""},
      {"empty gzip body", Sized("gzip", ""), true, ""},
  };
}

class HostileAnswer : public ::testing::TestWithParam<TAnswerCase> {};

TEST_P(HostileAnswer, FailsUnlessTheWholeBodyArrived) {
  const TAnswerCase& c = GetParam();
  TScriptedServer server;
  server.Expect("\r\n\r\n").Send(c.Bytes).Close();
  server.Start();
  THTTPClient client;
  client.Timeout = 2000;
  base::TStringStream body;
  EXPECT_EQ(client.Get(Url(server, "/x"), "", &body), c.Ok);
  if (c.Ok) {
    EXPECT_EQ(body.DataString(), c.Body);
  }
  EXPECT_FALSE(client.TcpClient().Connected());
}

INSTANTIATE_TEST_SUITE_P(HttpClient, HostileAnswer, ::testing::ValuesIn(AnswerCases()),
                         [](const ::testing::TestParamInfo<TAnswerCase>& info) {
                           std::string n;
                           for (char ch : std::string(info.param.Name)) n += std::isalnum(ch) ? ch : '_';
                           return n;
                         });

TEST(HttpClient, DecodedSizeIsCapped) {
  std::string zeros(1 << 20, '\0');
  std::string gz = Compress(zeros, 15 + 16);
  TScriptedServer server;
  server.Expect("\r\n\r\n").Send(Sized("gzip", gz)).Close();
  server.Start();
  THTTPClient client;
  client.MaxDecodedSize = 1 << 19;
  base::TMemoryStream body;
  EXPECT_FALSE(client.Get(Url(server, "/bomb"), "", &body));
  EXPECT_LE(body.Size(), 1 << 19);
}

TEST(HttpClient, KeptConnectionWithoutTheLastChunkTimesOut) {
  TScriptedServer server;
  server.Expect("\r\n\r\n")
      .Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: Keep-Alive\r\n\r\n5\r\nhello\r\n")
      .Stall();
  server.Start();
  THTTPClient client;
  client.Timeout = 300;
  base::TStringStream body;
  EXPECT_FALSE(client.Get(Url(server, "/c"), "", &body));
  EXPECT_EQ(client.State(), net::hsTimeout);
  EXPECT_FALSE(client.TcpClient().Connected());  // the rest must not be read as the next answer
}

TEST(HttpClient, TrickleOfOneByteASecondEndsAtTheTimeout) {
  TScriptedServer server;
  server.Expect("\r\n\r\n").Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\nConnection: close\r\n\r\n");
  for (int i = 0; i < 8; ++i) server.Send("x").Wait(1000);
  server.Close();
  server.Start();
  THTTPClient client;
  client.Timeout = 1500;  // each byte comes well within one wait
  base::TStringStream body;
  uint32_t start = platform::TickCount();
  EXPECT_FALSE(client.Get(Url(server, "/trickle"), "", &body));
  uint32_t took = platform::TickCount() - start;
  EXPECT_EQ(client.State(), net::hsTimeout);
  EXPECT_LT(took, 4000u);
}

// Reads a body without keeping it: checks every byte against the server's pattern.
class TPatternCheck : public base::TStream {
 public:
  int32_t Read(void*, int32_t) override { return 0; }
  TPatternCheck() : FPattern(251 + kPiece) {
    for (size_t i = 0; i < FPattern.size(); ++i) FPattern[i] = TScriptedServer::PatternByte(i);
  }
  int32_t Write(const void* buffer, int32_t count) override {
    const char* p = static_cast<const char*>(buffer);
    for (int32_t done = 0; done < count && Intact;) {
      int32_t n = std::min(count - done, kPiece);
      size_t phase = static_cast<size_t>((FSize + done) % 251);
      if (std::memcmp(p + done, FPattern.data() + phase, static_cast<size_t>(n)) != 0) Intact = false;
      done += n;
    }
    FSize += count;
    return count;
  }
  int64_t Seek(int64_t, base::TSeekOrigin) override { return FSize; }
  int64_t Size() override { return FSize; }
  bool Intact = true;

 private:
  static constexpr int32_t kPiece = 1 << 16;
  std::vector<char> FPattern;
  int64_t FSize = 0;
};

TEST(HttpClient, BodyOfThreeGibibytes) {
  const int64_t size = int64_t{3} << 30;
  TScriptedServer server;
  server.Expect("\r\n\r\n")
      .Send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(size) + "\r\nConnection: close\r\n\r\n")
      .SendPattern(static_cast<uint64_t>(size))
      .Close();
  server.Start();
  THTTPClient client;
  int64_t lastPosition = 0, lastTotal = 0;
  struct TLast {
    int64_t* Position;
    int64_t* Total;
  } last{&lastPosition, &lastTotal};
  client.OnProgress = {[](void* ctx, base::TObject*, int64_t pos, int64_t total) {
                         *static_cast<TLast*>(ctx)->Position = pos;
                         *static_cast<TLast*>(ctx)->Total = total;
                       },
                       &last};
  TPatternCheck body;
  ASSERT_TRUE(client.Get(Url(server, "/big"), "", &body));
  EXPECT_EQ(body.Size(), size);
  EXPECT_TRUE(body.Intact);
  EXPECT_EQ(client.ContentLength, size);
  EXPECT_EQ(lastPosition, size);
  EXPECT_EQ(lastTotal, size);
}

TEST(HttpClient, ChunkSizesAndContentLengths) {
  struct {
    const char* Line;
    bool Ok;
    int64_t Size;
  } chunks[] = {
      {"1A", true, 26},
      {"1a;name=value", true, 26},
      {"1a ;x", true, 26},
      {"0", true, 0},
      {"00000000000000001", true, 1},
      {"100000000", true, int64_t{1} << 32},
      {"fffffffffffffff", true, (int64_t{1} << 60) - 1},
      {"1000000000000000", false, 0},
      {"", false, 0},
      {";x", false, 0},
      {"1g", false, 0},
      {"-1", false, 0},
  };
  for (const auto& c : chunks) {
    int64_t size = -1;
    EXPECT_EQ(net::ParseChunkSize(c.Line, size), c.Ok) << c.Line;
    if (c.Ok) {
      EXPECT_EQ(size, c.Size) << c.Line;
    }
  }
  struct {
    const char* Text;
    bool Ok;
    int64_t Length;
  } lengths[] = {
      {"0", true, 0},
      {" 5 ", true, 5},
      {"3000000000", true, 3000000000},
      {"9223372036854775807", true, INT64_MAX},
      {"9223372036854775808", false, 0},
      {"", false, 0},
      {"5a", false, 0},
      {"+5", false, 0},
      {"5, 5", false, 0},
      {"0x10", false, 0},
  };
  for (const auto& c : lengths) {
    int64_t length = -1;
    EXPECT_EQ(net::ParseContentLength(c.Text, length), c.Ok) << c.Text;
    if (c.Ok) {
      EXPECT_EQ(length, c.Length) << c.Text;
    }
  }
}

TEST(HttpClient, LocationWithACarriageReturnOrLineFeedIsRefused) {
  for (const std::string location : {"/ok\rX-Injected:%201", "/ok\nX-Injected: 1", "/ok\r\n X-Injected: 1"}) {
    TScriptedServer server;
    server.Expect("\r\n\r\n")
        .Send("HTTP/1.1 302 Found\r\nLocation: " + location +
              "\r\nContent-Length: 0\r\nConnection: Keep-Alive\r\nKeep-Alive: timeout=5\r\n\r\n")
        .Wait(300)
        .Close();
    server.Start();
    THTTPClient client;
    client.Timeout = 1000;
    base::TStringStream body;
    EXPECT_FALSE(client.Get(Url(server, "/start"), "", &body));
    server.WaitDone();
    EXPECT_EQ(server.Received().find("X-Injected"), std::string::npos);
    EXPECT_EQ(server.Received().find("GET /ok"), std::string::npos);
  }
}

size_t Occurrences(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
  return n;
}

// Every control character, DEL included.
std::vector<char> ControlCharacters() {
  std::vector<char> out;
  for (int c = 0; c < 0x20; ++c) out.push_back(static_cast<char>(c));
  out.push_back('\x7F');
  return out;
}

std::string Shown(char c) { return "control character " + std::to_string(static_cast<unsigned char>(c)); }

const std::string kKeepEmpty = "Content-Length: 0\r\nConnection: Keep-Alive\r\nKeep-Alive: timeout=5\r\n\r\n";
const std::string kHelloAndClose = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nConnection: close\r\n\r\nhello";

struct TExchange {
  bool Ok;
  int StatusCode;
  std::string Body;
  std::string Received;  // by the server
};

// The server sends each answer after the next request head on one connection, then
// closes; a client asks for path. A request it does not send leaves the rest unplayed.
TExchange AnswersInTurn(const std::vector<std::string>& answers, const std::string& path) {
  TScriptedServer server;
  for (size_t i = 0; i < answers.size(); ++i) server.Expect("\r\n\r\n", i + 1).Send(answers[i]);
  server.Close();
  server.Start();
  THTTPClient client;
  client.Timeout = 1000;
  base::TStringStream body;
  TExchange e;
  e.Ok = client.Get(Url(server, path), "", &body);
  server.WaitDone();
  e.StatusCode = client.StatusCode;
  e.Body = body.DataString();
  e.Received = server.Received();
  return e;
}

// A chain of relative redirects on one kept connection: the limit's worth is followed;
// one more fails the request with the 302 as its status, and its Location is not asked.
TEST(HttpClient, RedirectChainIsFollowedUpToTheLimitAndNoFurther) {
  const int limit = THTTPClient::kMaxRedirects;
  const struct {
    int Redirects;
    bool Ok;
  } cases[] = {{1, true}, {limit, true}, {limit + 1, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Redirects);
    std::vector<std::string> answers;
    for (int i = 1; i <= c.Redirects; ++i)
      answers.push_back("HTTP/1.1 302 Found\r\nLocation: /r" + std::to_string(i) + "\r\n" + kKeepEmpty);
    answers.push_back(kHelloAndClose);
    TExchange e = AnswersInTurn(answers, "/r0");
    EXPECT_EQ(e.Ok, c.Ok);
    const std::string& got = e.Received;
    int asked = c.Ok ? c.Redirects : limit;
    EXPECT_EQ(Occurrences(got, "GET /r"), static_cast<size_t>(asked) + 1);
    EXPECT_NE(got.find("GET /r" + std::to_string(asked) + " "), std::string::npos);
    EXPECT_EQ(got.find("GET /r" + std::to_string(asked + 1) + " "), std::string::npos);
    EXPECT_EQ(e.StatusCode, c.Ok ? 200 : 302);
    EXPECT_EQ(e.Body, c.Ok ? "hello" : "");
  }
}

// A URL with a control character anywhere is refused before anything is sent: the kept
// connection carries only the good requests around them.
TEST(HttpClient, UrlsWithControlCharactersAreRefusedUnsent) {
  TScriptedServer server;
  server.Expect("GET /first ")
      .Expect("\r\n\r\n")
      .Send("HTTP/1.1 200 OK\r\n" + kKeepEmpty)
      .Expect("\r\n\r\n", 2)
      .Send("HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")
      .Close();
  server.Start();
  THTTPClient client;
  client.Timeout = 1000;
  base::TStringStream body;
  ASSERT_TRUE(client.Get(Url(server, "/first"), "", &body));
  for (char c : ControlCharacters()) {
    const std::string bad[] = {Url(server, "/a") + c + "b", Url(server, "/a?q=") + c, Url(server, "/a") + c,
                               c + Url(server, "/a"), std::string(1, c) + "/a"};
    for (const std::string& url : bad) {
      EXPECT_FALSE(client.Get(url, "", &body)) << Shown(c) << " in " << url;
      // One that went out has lost the kept connection; stop before the next ones wait
      // on a listener that accepts nothing more.
      ASSERT_EQ(Occurrences(server.Received(), "GET "), 1u) << Shown(c) << " sent in " << url;
    }
  }
  EXPECT_TRUE(client.Get(Url(server, "/last"), "", &body));
  server.WaitDone();
  std::string got = server.Received();
  EXPECT_EQ(Occurrences(got, "GET "), 2u);
  EXPECT_NE(got.find("GET /last "), std::string::npos);
}

// A Location with a control character, inside the value or at either end, is not
// followed: the redirect fails and the connection is closed rather than asked again. A
// zero byte counts too, though the line reader drops it with what follows. Only a tab at
// an end is a blank around the value.
TEST(HttpClient, LocationsWithControlCharactersAreNotFollowed) {
  for (char c : ControlCharacters()) {
    const struct {
      const char* Where;
      std::string Value;
      bool Followed;
    } cases[] = {{"inside", std::string("/ok") + c + "x", false},
                 {"before", c + std::string("/ok"), c == '\t'},
                 {"after", "/ok" + std::string(1, c), c == '\t'}};
    for (const auto& k : cases) {
      SCOPED_TRACE(Shown(c) + " " + k.Where + " the value");
      TExchange e =
          AnswersInTurn({"HTTP/1.1 302 Found\r\nLocation: " + k.Value + "\r\n" + kKeepEmpty, kHelloAndClose}, "/start");
      EXPECT_EQ(e.Ok, k.Followed);
      const std::string& got = e.Received;
      EXPECT_EQ(Occurrences(got, "GET "), k.Followed ? 2u : 1u);
      if (k.Followed) {
        EXPECT_NE(got.find("GET /ok HTTP/1.1\r\n"), std::string::npos);
      }
      EXPECT_EQ(e.StatusCode, k.Followed ? 200 : 302);
    }
  }
}

TEST(HttpClient, RelativeRedirectKeepsThePortInTheHostLine) {
  TScriptedServer server;
  server.Expect("GET /first ")
      .Expect("\r\n\r\n")
      .Send(
          "HTTP/1.1 302 Found\r\nLocation: /second\r\nContent-Length: 0\r\nConnection: Keep-Alive\r\n"
          "Keep-Alive: timeout=15\r\n\r\n")
      .Expect("GET /second ")
      .Send("HTTP/1.1 200 OK\r\nContent-Length: 5\r\nConnection: close\r\n\r\nhello")
      .Close();
  server.Start();
  THTTPClient client;
  base::TStringStream body;
  ASSERT_TRUE(client.Get(Url(server, "/first"), "", &body));
  EXPECT_EQ(body.DataString(), "hello");
  std::string got = server.Received();
  size_t second = got.find("GET /second HTTP/1.1\r\n");
  ASSERT_NE(second, std::string::npos);
  std::string expected = "GET /second HTTP/1.1\r\nHost: 127.0.0.1:" + server.PortText() + "\r\nAccept:";
  EXPECT_EQ(got.substr(second, expected.size()), expected);
}

TEST(HttpClient, PostRetriedOnAStaleConnectionSendsItsBodyAgain) {
  TScriptedServer server;
  server.Expect("GET /one ")
      .Send("HTTP/1.1 200 OK\r\nContent-Length: 3\r\nConnection: Keep-Alive\r\nKeep-Alive: timeout=30\r\n\r\none")
      .Wait(50)
      .AcceptNext()
      .Expect("a=1&b=2")
      .Send("HTTP/1.1 200 OK\r\nContent-Length: 3\r\nConnection: close\r\n\r\ntwo")
      .Close();
  server.Start();
  THTTPClient client;
  client.Timeout = 3000;
  base::TStringStream first, second;
  ASSERT_TRUE(client.Get(Url(server, "/one"), "", &first));
  platform::SleepMs(150);  // the close has reached the client's socket
  ASSERT_TRUE(client.Get(Url(server, "/two"), "a=1&b=2", &second));
  EXPECT_EQ(second.DataString(), "two");
  std::string got = server.Received();
  EXPECT_NE(got.find("Content-Length: 7\r\n\r\na=1&b=2"), std::string::npos);
}

TEST(HttpClient, ProxyCredentialsStayWithTheProxy) {
  TScriptedServer proxy;
  proxy.Expect("\r\n\r\n")
      .Send("HTTP/1.0 200 Connection established\r\n\r\n")
      .Expect("GET /inside ")
      .Expect("\r\n\r\n")
      .Send("HTTP/1.1 200 OK\r\nContent-Length: 5\r\nConnection: close\r\n\r\nhello")
      .Close();
  proxy.Start();
  THTTPClient client;
  net::TQZProxyInfo info;
  info.ProxyType = net::ptHTTP;
  info.Host = "127.0.0.1";
  info.Port = proxy.PortText();
  info.UserName = "user";
  info.Password = "secret";
  client.TcpClient().Proxy().Assign(info);
  base::TStringStream body;
  ASSERT_TRUE(client.Get("http://origin.test/inside", "", &body));
  EXPECT_EQ(body.DataString(), "hello");
  std::string got = proxy.Received();
  size_t tunnel = got.find("GET /inside ");
  ASSERT_NE(tunnel, std::string::npos);
  EXPECT_NE(got.substr(0, tunnel).find("Proxy-Authorization: Basic dXNlcjpzZWNyZXQ=\r\n"), std::string::npos);
  EXPECT_EQ(got.find("Proxy-Authorization", tunnel), std::string::npos);
}

TEST(HttpClient, SecureCookiesStayOffPlainConnections) {
  net::CookieManager().Clear();
  TScriptedServer server;
  server.Expect("GET /login ")
      .Send(
          "HTTP/1.1 200 OK\r\nSet-Cookie: s=1; Secure; path=/\r\nSet-Cookie: p=2; path=/\r\n"
          "Set-Cookie: far=3; path=/; domain=elsewhere.test\r\nContent-Length: 0\r\nConnection: Keep-Alive\r\n"
          "Keep-Alive: timeout=5\r\n\r\n")
      .Expect("GET /next ")
      .Expect("\r\n\r\n")
      .Send("HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")
      .Close();
  server.Start();
  THTTPClient client;
  base::TStringStream body;
  ASSERT_TRUE(client.Get(Url(server, "/login"), "", &body));
  ASSERT_TRUE(client.Get(Url(server, "/next"), "", &body));
  std::string got = server.Received();
  EXPECT_NE(got.find("\r\nCookie: p=2\r\n"), std::string::npos);
  net::CookieManager().Clear();
}

}  // namespace
