// THTTPClient against the scripted loopback server: exact request heads and bodies, and
// every answer form the client must read.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "base/DateTime.h"
#include "base/Stream.h"
#include "base/Strings.h"
#include "net/HTTPApp.h"
#include "net/HttpClient.h"
#include "net/QZTCPClient.h"
#include "platform/Thread.h"
#include "support/net/ScriptedServer.h"

using net::THTTPClient;
using testsupport::TScriptedServer;

namespace {

std::string Url(const TScriptedServer& s, const std::string& path) { return "http://127.0.0.1:" + s.PortText() + path; }

std::string Head(const std::string& requestLine, const std::string& host, const std::string& extra = "",
                 const std::string& tail = "Connection: Keep-Alive\r\nAccept-Encoding: gzip,deflate\r\n") {
  return requestLine + "\r\nHost: " + host + "\r\nAccept: */*\r\nPragma: no-cache\r\nCache-Control: no-cache\r\n" +
         extra + "User-Agent: Mozilla/4.0 (compatible; MSIE 6.00)\r\n" + tail;
}

const std::string kOk5 = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nConnection: close\r\n\r\nhello";

struct TProgressLog {
  std::vector<std::pair<int64_t, int64_t>> Calls;
  static void Record(void* ctx, base::TObject*, int64_t pos, int64_t total) {
    static_cast<TProgressLog*>(ctx)->Calls.emplace_back(pos, total);
  }
};

std::string Gzip(const std::string& data, const char* storedName) {
  // A gzip member with FNAME set: header, raw deflate data, CRC32 and ISIZE.
  std::string out = {'\x1f', '\x8b', 8, 8, 0, 0, 0, 0, 0, 3};
  out += storedName;
  out += '\0';
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::vector<unsigned char> buf(deflateBound(&z, data.size()) + 16);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = buf.data();
  z.avail_out = static_cast<uInt>(buf.size());
  deflate(&z, Z_FINISH);
  out.append(reinterpret_cast<char*>(buf.data()), buf.size() - z.avail_out);
  deflateEnd(&z);
  uint32_t crc =
      static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
  uint32_t size = static_cast<uint32_t>(data.size());
  for (uint32_t v : {crc, size})
    for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
  return out;
}

}  // namespace

TEST(HttpClient, GetSendsTheExactHeadAndReadsALengthBody) {
  TScriptedServer server;
  std::string host = "127.0.0.1:" + server.PortText();
  std::string expected = Head("GET /a%20b/c:d?x=1 HTTP/1.1", host) + "\r\n";
  server.Expect("\r\n\r\n").Send(kOk5).Close();
  server.Start();
  THTTPClient client;
  base::TStringStream body;
  ASSERT_TRUE(client.Get(Url(server, "/a b/c:d?x=1"), "", &body));
  EXPECT_EQ(server.Received(), expected);
  EXPECT_EQ(body.DataString(), "hello");
  EXPECT_EQ(client.StatusCode, 200);
  EXPECT_EQ(client.State(), net::hsDone);
  EXPECT_EQ(client.ResponseHeaders[0], "HTTP/1.1 200 OK");
}

TEST(HttpClient, RangeRefererAndIfModifiedSinceLines) {
  TScriptedServer server;
  std::string host = "127.0.0.1:" + server.PortText();
  server.Expect("\r\n\r\n").Send("HTTP/1.1 304 Not Modified\r\nConnection: close\r\n\r\n").Close();
  server.Start();
  THTTPClient client;
  client.Referer = "http://ref.test/page";
  client.KeepAlive = false;
  client.AcceptEncoding = false;
  base::TDateTime ims = base::UnixToDateTime(784111777) + net::LocalOffset();
  TProgressLog progress;
  client.OnProgress = {&TProgressLog::Record, &progress};
  base::TStringStream body;
  ASSERT_TRUE(client.Get(Url(server, "/f"), "", &body, ims, true, 100, 50));
  EXPECT_EQ(server.Received(),
            Head("GET /f HTTP/1.1", host, "Range: bytes=100-150\r\nReferer: http://ref.test/page\r\n",
                 "Connection: close\r\nIf-Modified-Since:SUN, 06 Nov 1994 08:49:37 GMT\r\n") +
                "\r\n");
  EXPECT_EQ(body.DataString(), "");
  ASSERT_EQ(progress.Calls.size(), 1u);  // one event (100, 100) for a not-modified answer
  EXPECT_EQ(progress.Calls[0], std::make_pair(int64_t{100}, int64_t{100}));
}

TEST(HttpClient, RangeStartZeroSendsNoRange) {
  TScriptedServer server;
  server.Expect("\r\n\r\n").Send(kOk5).Close();
  server.Start();
  THTTPClient client;
  base::TStringStream body;
  ASSERT_TRUE(client.Get(Url(server, "/"), "", &body, 0, true, 0, 10));
  EXPECT_EQ(server.Received().find("Range:"), std::string::npos);
}

TEST(HttpClient, PostOfAStringBody) {
  TScriptedServer server;
  std::string host = "127.0.0.1:" + server.PortText();
  server.Expect("a=1&b=2").Send(kOk5).Close();
  server.Start();
  THTTPClient client;
  base::TStringStream body;
  ASSERT_TRUE(client.Get(Url(server, "/form"), "a=1&b=2", &body));
  EXPECT_EQ(server.Received(), Head("POST /form HTTP/1.1", host) +
                                   "Content-Type:application/x-www-form-urlencoded; charset=UTF-8\r\n"
                                   "Content-Length: 7\r\n\r\na=1&b=2");
}

TEST(HttpClient, OctetStreamAndMultipartBodies) {
  {
    TScriptedServer server;
    std::string host = "127.0.0.1:" + server.PortText();
    server.Expect("BIN").Send(kOk5).Close();
    server.Start();
    THTTPClient client;
    base::TMemoryStream data;
    data.WriteBuffer("xxBIN", 5);
    data.SetPosition(2);  // only what is left after the position is sent
    ASSERT_TRUE(client.Request(Url(server, "/up"), {{"", "", &data}}, 0, false, 0, 0, false));
    EXPECT_EQ(server.Received(), Head("POST /up HTTP/1.1", host) +
                                     "Content-Type:application/octet-stream\r\nContent-Transfer-Encoding: binary\r\n"
                                     "Content-Length: 3\r\n\r\nBIN");
  }
  {
    TScriptedServer server;
    std::string host = "127.0.0.1:" + server.PortText();
    const std::string d = "-----------------------------7d7da1b60556\r\n";
    std::string part1 =
        "Content-Disposition: form-data; name=\"f&amp;\"; filename=\"a&quot;b.txt\"\r\nContent-Type:file\r\n\r\n";
    std::string part2 = "Content-Disposition: form-data; name=\"note\"\r\n\r\n";
    size_t total = d.size() + (part1.size() + 4 + d.size() + 2) + (part2.size() + 2 + d.size() + 2);
    std::string body = d + part1 + "DATA" + "\r\n" + d + part2 + "hi" + "\r\n" + d;
    server.Expect("hi\r\n" + d).Send(kOk5).Close();
    server.Start();
    THTTPClient client;
    base::TStringStream file("DATA"), note("hi");
    ASSERT_TRUE(
        client.Request(Url(server, "/m"), {{"f&", "a\"b.txt", &file}, {"note", "", &note}}, 0, false, 0, 0, false));
    EXPECT_EQ(server.Received(),
              Head("POST /m HTTP/1.1", host) +
                  "Content-Type:multipart/form-data; boundary=---------------------------7d7da1b60556\r\n"
                  "Content-Length:" +
                  std::to_string(total) + "\r\n\r\n" + body);
  }
}

TEST(HttpClient, StatusLines) {
  struct Case {
    std::string Answer;
    bool Ok;
    int Status;
  } cases[] = {
      {"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n", false, 404},
      {"HTTP/1.1\r\n\r\n", false, 0},
      {"HTTP/1.0 206 Partial Content\r\ncontent-length: 5\r\n\r\nhello", true, 206},
  };
  for (const Case& c : cases) {
    TScriptedServer server;
    server.Expect("\r\n\r\n").Send(c.Answer).Close();
    server.Start();
    THTTPClient client;
    base::TStringStream body;
    EXPECT_EQ(client.Get(Url(server, "/"), "", &body), c.Ok) << c.Answer;
    EXPECT_EQ(client.StatusCode, c.Status) << c.Answer;
    if (c.Ok) {
      EXPECT_EQ(body.DataString(), "hello");  // lower-case header name works
    }
  }
}

// Answers that must not disturb the kept connection: a 304 naming the size of the
// unchanged file, and a refused answer whose body is never read.
TEST(HttpClient, NotModifiedWithALengthAndARefusedBodyOnAKeptConnection) {
  TScriptedServer server;
  const std::string keep = "Connection: Keep-Alive\r\nKeep-Alive: timeout=5\r\n";
  server.Expect("GET /cfg ")
      .Send("HTTP/1.1 304 Not Modified\r\nContent-Length: 5\r\n" + keep + "\r\n")
      .Expect("GET /missing ")
      .Send("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n" + keep + "\r\nNot Found")
      .AcceptNext()
      .Expect("GET /next ")
      .Send(kOk5)
      .Close();
  server.Start();
  THTTPClient client;
  base::TStringStream body;
  EXPECT_TRUE(client.Get(Url(server, "/cfg"), "", &body, base::Now() - 1));
  EXPECT_EQ(client.StatusCode, 304);
  EXPECT_EQ(body.DataString(), "");
  EXPECT_FALSE(client.Get(Url(server, "/missing"), "", &body));
  EXPECT_EQ(client.StatusCode, 404);
  EXPECT_FALSE(client.TcpClient().Connected());
  ASSERT_TRUE(client.Get(Url(server, "/next"), "", &body));
  EXPECT_EQ(client.StatusCode, 200);
  EXPECT_EQ(body.DataString(), "hello");
}

TEST(HttpClient, ChunkedBodiesWithExtensionsSplitLinesAndLateCrLf) {
  std::string a(26, 'a'), b(26, 'b');
  TScriptedServer server;
  server.Expect("\r\n\r\n")
      .Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n")
      .Send("1A\r")  // the size line arrives before its LF
      .Wait(60)
      .Send("\n" + a)
      .Wait(60)
      .Send("\r\n1a;name=value\r\n" + b)
      .Wait(60)
      .Send("\r\n")  // a late CR LF after the data
      .Send("0\r\nX-Trailer: 1\r\n\r\n")
      .Close();
  server.Start();
  THTTPClient client;
  TProgressLog progress;
  client.OnProgress = {&TProgressLog::Record, &progress};
  base::TStringStream body;
  ASSERT_TRUE(client.Get(Url(server, "/c"), "", &body));
  EXPECT_EQ(body.DataString(), a + b);
  EXPECT_EQ(client.ContentLength, 52);
  // No length was announced: every report says the total is unknown (0).
  ASSERT_FALSE(progress.Calls.empty());
  EXPECT_EQ(progress.Calls.back(), std::make_pair(int64_t{52}, int64_t{0}));
  for (const auto& call : progress.Calls) EXPECT_EQ(call.second, 0);
}

TEST(HttpClient, ProgressOfABodyWithAndWithoutALength) {
  for (bool announced : {true, false}) {
    TScriptedServer server;
    server.Expect("\r\n\r\n")
        .Send(std::string("HTTP/1.1 200 OK\r\nConnection: close\r\n") + (announced ? "Content-Length: 10\r\n" : "") +
              "\r\n01234")
        .Wait(60)
        .Send("56789")
        .Close();
    server.Start();
    THTTPClient client;
    TProgressLog progress;
    client.OnProgress = {&TProgressLog::Record, &progress};
    base::TStringStream body;
    ASSERT_TRUE(client.Get(Url(server, "/p"), "", &body)) << announced;
    EXPECT_EQ(body.DataString(), "0123456789");
    ASSERT_FALSE(progress.Calls.empty()) << announced;
    EXPECT_EQ(progress.Calls.back(), std::make_pair(int64_t{10}, announced ? int64_t{10} : int64_t{0}));
  }
}

TEST(HttpClient, GzipWithStoredNameAndDeflateBodies) {
  std::string text;
  for (int i = 0; i < 2000; ++i) text += "line " + std::to_string(i) + "\n";
  {
    TScriptedServer server;
    std::string gz = Gzip(text, "stored-name.txt");
    server.Expect("\r\n\r\n")
        .Send("HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: " + std::to_string(gz.size()) +
              "\r\nConnection: close\r\n\r\n" + gz)
        .Close();
    server.Start();
    THTTPClient client;
    base::TStringStream body;
    ASSERT_TRUE(client.Get(Url(server, "/g"), "", &body));
    EXPECT_EQ(body.DataString(), text);
  }
  {
    TScriptedServer server;
    uLongf len = compressBound(static_cast<uLong>(text.size()));
    std::string z(len, '\0');
    compress(reinterpret_cast<Bytef*>(z.data()), &len, reinterpret_cast<const Bytef*>(text.data()),
             static_cast<uLong>(text.size()));
    z.resize(len);
    server.Expect("\r\n\r\n")
        .Send("HTTP/1.1 200 OK\r\nContent-Encoding: deflate\r\nTransfer-Encoding: chunked\r\n\r\n")
        .Send(base::IntToHex(z.size(), 1) + "\r\n" + z + "\r\n0\r\n\r\n")
        .Close();
    server.Start();
    THTTPClient client;
    base::TStringStream body;
    ASSERT_TRUE(client.Get(Url(server, "/d"), "", &body));
    EXPECT_EQ(body.DataString(), text);
    EXPECT_EQ(client.TcpClient().Connected(), false);  // no Connection header: closed after the body
  }
}

TEST(HttpClient, CorruptCompressedBodiesEndWithoutHanging) {
  TScriptedServer server;
  std::string junk = "\x78\x9c" + std::string(5000, '\xff');
  server.Expect("\r\n\r\n")
      .Send("HTTP/1.1 200 OK\r\nContent-Encoding: deflate\r\nContent-Length: " + std::to_string(junk.size()) +
            "\r\n\r\n" + junk)
      .Close();
  server.Start();
  THTTPClient client;
  base::TStringStream body;
  EXPECT_FALSE(client.Get(Url(server, "/bad"), "", &body));  // the bytes arrived; decoding gave up
  EXPECT_LT(body.DataString().size(), 5000u);
}

TEST(HttpClient, KeepAliveReusesTheConnectionAndRelativeRedirectStaysOnIt) {
  TScriptedServer server;
  server.Expect("HEAD /first ")
      .Send(
          "HTTP/1.1 302 Found\r\nLocation: /second\r\nContent-Length: 0\r\nConnection: Keep-Alive\r\n"
          "Keep-Alive: timeout=15, max=100\r\n\r\n")
      .Expect("GET /second ")
      .Send("HTTP/1.1 200 OK\r\nContent-Length: 5\r\nConnection: keep-alive\r\nKeep-Alive: timeout=15\r\n\r\nhello")
      .Expect("GET /third ")
      .Send("HTTP/1.1 200 OK\r\nContent-Length: 3\r\nConnection: close\r\n\r\nbye")
      .Close();
  server.Start();
  THTTPClient client;
  base::TStringStream body;
  // A redirected HEAD becomes a GET.
  ASSERT_TRUE(client.OpenURL(Url(server, "/first"), "", 0, false, 0, 0, true));
  EXPECT_EQ(client.ReadBody(body), 5);
  EXPECT_EQ(body.DataString(), "hello");
  EXPECT_TRUE(client.TcpClient().Connected());
  EXPECT_GT(client.KeepAliveRemaining(), 10);
  base::TStringStream second;
  ASSERT_TRUE(client.Get(Url(server, "/third"), "", &second));
  EXPECT_TRUE(client.Reused);
  EXPECT_EQ(second.DataString(), "bye");
  std::string got = server.Received();
  EXPECT_NE(got.find("HEAD /first HTTP/1.1"), std::string::npos);
  EXPECT_EQ(client.KeepAliveRemaining(), 0);
}

TEST(HttpClient, BodyStallTimesOutAndHostileHeadsAreRefused) {
  {
    TScriptedServer server;
    server.Expect("\r\n\r\n")
        .Send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\nConnection: Keep-Alive\r\n\r\nabc")
        .Stall();
    server.Start();
    THTTPClient client;
    client.Timeout = 300;
    base::TStringStream body;
    EXPECT_FALSE(client.Get(Url(server, "/slow"), "", &body));
    EXPECT_EQ(client.State(), net::hsTimeout);
    EXPECT_EQ(body.DataString(), "abc");
  }
  {
    TScriptedServer server;
    std::string head = "HTTP/1.1 200 OK\r\n";
    for (int i = 0; i < 300; ++i) head += "X-Filler-" + std::to_string(i) + ": y\r\n";
    server.Expect("\r\n\r\n").Send(head + "\r\n").Close();
    server.Start();
    THTTPClient client;
    base::TStringStream body;
    EXPECT_FALSE(client.Get(Url(server, "/many"), "", &body));
  }
}

TEST(HttpClient, CookiesGoToTheJarAndComeBack) {
  TScriptedServer server;
  server.Expect("GET /login ")
      .Send(
          "HTTP/1.1 200 OK\r\nSet-Cookie: sess=a b; path=/\r\nContent-Length: 0\r\nConnection: Keep-Alive\r\n"
          "Keep-Alive: timeout=5\r\n\r\n")
      .Expect("GET /next ")
      .Expect("\r\n\r\n")
      .Send(kOk5)
      .Close();
  server.Start();
  THTTPClient client;
  base::TStringStream body;
  ASSERT_TRUE(client.Get(Url(server, "/login"), "", &body));
  ASSERT_TRUE(client.Get(Url(server, "/next"), "", &body));
  EXPECT_NE(server.Received().find("Cookie: sess=a+b\r\n"), std::string::npos);
}

TEST(HttpClient, StaleKeptConnectionSucceedsThroughTheSingleRetry) {
  TScriptedServer server;
  server.Expect("GET /one ")
      .Send("HTTP/1.1 200 OK\r\nContent-Length: 3\r\nConnection: Keep-Alive\r\nKeep-Alive: timeout=30\r\n\r\none")
      .Wait(50)
      .AcceptNext()  // the server drops the kept connection and takes a new one
      .Expect("GET /two ")
      .Send("HTTP/1.1 200 OK\r\nContent-Length: 3\r\nConnection: close\r\n\r\ntwo")
      .Close();
  server.Start();
  THTTPClient client;
  base::TStringStream first, second;
  ASSERT_TRUE(client.Get(Url(server, "/one"), "", &first));
  platform::SleepMs(150);  // the close has reached the client's socket
  ASSERT_TRUE(client.Get(Url(server, "/two"), "", &second));
  EXPECT_EQ(second.DataString(), "two");
  EXPECT_FALSE(client.Reused);  // the retry ran on a fresh connection
}

// Answers that arrive together are read off the connection at once; what lies past the
// end of one answer must serve the next request on the kept connection, whatever form
// the first body had. The server sends nothing after the second request.
TEST(HttpClient, BytesReadPastAnAnswerServeTheNextOnTheKeptConnection) {
  const std::string a(26, 'a'), keep = "Connection: Keep-Alive\r\nKeep-Alive: timeout=30\r\n";
  TScriptedServer server;
  server.Expect("GET /one ")
      .Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n" + keep + "\r\n1A\r\n" + a + "\r\n0\r\n\r\n" +
            "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n" + keep + "\r\nhello" +
            "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nConnection: close\r\n\r\nbye")
      .Expect("GET /two ")
      .Expect("GET /three ")
      .Wait(100)
      .Close();
  server.Start();
  THTTPClient client;
  base::TStringStream first, second, third;
  ASSERT_TRUE(client.Get(Url(server, "/one"), "", &first));
  EXPECT_EQ(first.DataString(), a);
  ASSERT_TRUE(client.Get(Url(server, "/two"), "", &second));
  EXPECT_TRUE(client.Reused);
  EXPECT_EQ(second.DataString(), "hello");
  ASSERT_TRUE(client.Get(Url(server, "/three"), "", &third));
  EXPECT_EQ(third.DataString(), "bye");
  EXPECT_FALSE(client.TcpClient().Connected());
}

// Chunk-size lines and the CR LF after chunk data cut at every place by the arrival of
// the bytes: the read-ahead buffer must join them, never take a piece for a whole line.
TEST(HttpClient, ChunkSizeLinesSplitAcrossReadsAnywhere) {
  const std::string a(26, 'a'), b(300, 'b');
  const std::string body = "1A\r\n" + a + "\r\n12C;ext=1\r\n" + b + "\r\n0\r\n\r\n";
  for (size_t cut : std::vector<size_t>{1, 2, 3, 4, 30, 31, 33, 35, 40, 44, body.size() - 3, body.size() - 1}) {
    SCOPED_TRACE("cut after " + std::to_string(cut));
    TScriptedServer server;
    server.Expect("\r\n\r\n")
        .Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n" + body.substr(0, cut))
        .Wait(40)
        .Send(body.substr(cut))
        .Close();
    server.Start();
    THTTPClient client;
    base::TStringStream got;
    ASSERT_TRUE(client.Get(Url(server, "/c"), "", &got));
    EXPECT_EQ(got.DataString(), a + b);
    EXPECT_EQ(client.ContentLength, 326);
  }
}

// A gzip body large enough that its data comes out of many inflate steps: the CRC-32 and
// length of the trailer are checked however the body is cut into pieces, the trailer
// itself split over two pieces included.
TEST(HttpClient, GzipTrailerIsCheckedForABodyInPieces) {
  std::string text;
  for (int i = 0; i < 40000; ++i) text += "record " + std::to_string(i * 7919 % 100003) + ";\n";
  const std::string gz = Gzip(text, "big.txt");
  auto decode = [&](const std::string& bytes, size_t piece) {
    base::TStringStream out;
    net::TInflateStream inflater(2, out, int64_t{1} << 30);
    for (size_t at = 0; at < bytes.size(); at += piece)
      inflater.WriteBuffer(bytes.data() + at, static_cast<int32_t>(std::min(piece, bytes.size() - at)));
    bool ok = inflater.Finish();
    return std::make_pair(ok, out.DataString());
  };
  std::string badCrc = gz, badLength = gz;
  badCrc[gz.size() - 7] ^= 0x01;
  badLength[gz.size() - 3] ^= 0x01;
  for (size_t piece : {size_t{3}, size_t{1000}, size_t{65536}, gz.size() - 5, gz.size()}) {
    SCOPED_TRACE("pieces of " + std::to_string(piece));
    auto good = decode(gz, piece);
    EXPECT_TRUE(good.first);
    EXPECT_TRUE(good.second == text);
    EXPECT_FALSE(decode(badCrc, piece).first);
    EXPECT_FALSE(decode(badLength, piece).first);
  }
}
