#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>

#include "base/Stream.h"
#include "net/QZTCPClient.h"
#include "support/net/ScriptedServer.h"

namespace {

using testsupport::TScriptedServer;

std::unique_ptr<net::TQZTCPClient> ConnectTo(TScriptedServer& server) {
  auto client = std::make_unique<net::TQZTCPClient>();
  client->SetHost("127.0.0.1");
  client->SetPort(server.PortText());
  EXPECT_TRUE(client->Connect());
  return client;
}

long long MsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

TEST(QZTCPClient, ReadLnTable) {
  struct Case {
    const char* Name;
    std::vector<std::string> Pieces;  // sent with a pause between
    std::vector<std::string> Lines;   // what ReadLn gives, in order
    std::string Rest;                 // what stays for Receive afterwards
  } cases[] = {
      {"terminator split across segments", {"abc\r", "\ndef\r\nrest"}, {"abc", "def"}, "rest"},
      {"terminator split after a lone CR", {"abc", "\r", "\nxyz\r\n"}, {"abc", "xyz"}, ""},
      {"empty line", {"\r\nnext\r\n"}, {"", "next"}, ""},
      {"zero byte cuts the line", {std::string("ab\0cd\r\nok\r\n", 11)}, {"ab", "ok"}, ""},
      {"line longer than one peek",
       {std::string(700, 'x') + "\r\n" + std::string(300, 'y') + "\r\n"},
       {std::string(700, 'x'), std::string(300, 'y')},
       ""},
      {"lone LF is no terminator", {"a\nb\r\n"}, {"a\nb"}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TScriptedServer server;
    for (const auto& p : c.Pieces) server.Send(p).Wait(100);
    server.Wait(50).Close();
    server.Start();
    auto client = ConnectTo(server);
    for (const auto& expected : c.Lines) {
      std::string line;
      EXPECT_TRUE(client->ReadLn(line, 3000, "\r\n"));
      EXPECT_EQ(line, expected);
    }
    std::string rest;
    char buf[64];
    while (client->WaitForData(3000)) {
      int n = client->Receive(buf, sizeof buf);
      if (n <= 0) break;
      rest.append(buf, static_cast<size_t>(n));
    }
    EXPECT_EQ(rest, c.Rest);
  }
}

TEST(QZTCPClient, ReadLnEndsAtCloseAndAtTimeout) {
  {
    TScriptedServer server;
    server.Send("abc").Close();
    server.Start();
    auto client = ConnectTo(server);
    std::string line;
    EXPECT_FALSE(client->ReadLn(line, 3000));
    EXPECT_EQ(line, "abc");
  }
  {
    TScriptedServer server;
    server.Send("partial").Stall();
    server.Start();
    auto client = ConnectTo(server);
    std::string line;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(client->ReadLn(line, 300));
    EXPECT_LT(MsSince(start), 2500);
    EXPECT_EQ(line.substr(0, 5), "parti");
  }
}

// A peer that never ends its line cannot make the line grow without bound.
TEST(QZTCPClient, ReadLnCapsTheLineLength) {
  TScriptedServer server;
  server.Send(std::string(net::TQZTCPClient::kMaxLineLength + 5000, 'x')).Stall();
  server.Start();
  auto client = ConnectTo(server);
  std::string line;
  EXPECT_FALSE(client->ReadLn(line, 3000));
  EXPECT_GT(line.size(), net::TQZTCPClient::kMaxLineLength);
  EXPECT_LE(line.size(), net::TQZTCPClient::kMaxLineLength + 512);
}

TEST(QZTCPClient, WaitForDataPeekAndReceive) {
  TScriptedServer server;
  server.Wait(200).Send("hello").Wait(200).HalfClose().Expect("done");
  server.Start();
  auto client = ConnectTo(server);
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(client->WaitForData(50));  // nothing yet
  EXPECT_TRUE(client->WaitForData(3000));
  EXPECT_GE(MsSince(start), 150);
  char buf[16];
  const base::TDateTime before = client->LastActivity();
  EXPECT_EQ(client->Peek(buf, 3), 3);
  EXPECT_EQ(std::string(buf, 3), "hel");
  EXPECT_EQ(client->LastActivity(), before);  // a peek is no activity
  EXPECT_EQ(client->Receive(buf, sizeof buf), 5);
  EXPECT_EQ(std::string(buf, 5), "hello");
  EXPECT_GT(client->LastActivity(), 0.0);
  // The peer ended its sending half: no data will come, and waiting says so at once.
  start = std::chrono::steady_clock::now();
  EXPECT_FALSE(client->WaitForData(3000));
  EXPECT_LT(MsSince(start), 2500);
  EXPECT_EQ(client->SendString("do", "ne"), 4);
  ASSERT_TRUE(server.WaitDone());
  client->Disconnect();
  EXPECT_FALSE(client->Connected());
  EXPECT_FALSE(client->WaitForData(10));
}

TEST(QZTCPClient, SendStreamSendsFromThePosition) {
  std::string data;
  for (int i = 0; i < 1300; ++i) data += static_cast<char>('a' + i % 26);
  TScriptedServer server;
  server.ExpectBytes(1290);
  server.Start();
  auto client = ConnectTo(server);
  base::TStringStream stream(data);
  stream.SetPosition(10);
  EXPECT_EQ(client->SendStream(stream), 1290);
  ASSERT_TRUE(server.WaitDone());
  client->Disconnect();
  EXPECT_EQ(server.Received(), data.substr(10));
}

TEST(QZTCPClient, HostChangeDisconnectsAndConnectIsIdempotent) {
  TScriptedServer server;
  server.Expect("x");
  server.Start();
  net::TQZTCPClient client;
  int connects = 0, disconnects = 0;
  struct Counter {
    int* N;
    void Fire(base::TObject*) { ++*N; }
  } onConnect{&connects}, onDisconnect{&disconnects};
  client.OnConnect = base::Method<&Counter::Fire>(&onConnect);
  client.OnDisconnect = base::Method<&Counter::Fire>(&onDisconnect);
  client.SetHost("127.0.0.1");
  client.SetPort(server.PortText());
  ASSERT_TRUE(client.Connect());
  EXPECT_TRUE(client.Connect());
  EXPECT_EQ(connects, 1);
  EXPECT_EQ(client.Send("x", 1), 1);
  client.SetPort(server.PortText());  // same value: stays connected
  EXPECT_TRUE(client.Connected());
  client.SetHost("localhost");
  EXPECT_FALSE(client.Connected());
  EXPECT_EQ(disconnects, 1);
}

TEST(QZTCPClient, FailedConnectLeavesNoOpenSocket) {
  uint16_t port;
  {
    testsupport::TLoopbackListener closed;
    port = closed.Port();
  }
  net::TQZTCPClient client;
  int errors = 0;
  struct Counter {
    int* N;
    void Fire(base::TObject*, int) { ++*N; }
  } onError{&errors};
  client.OnError = base::Method<&Counter::Fire>(&onError);
  client.SetHost("127.0.0.1");
  client.SetPort(std::to_string(port));
  EXPECT_FALSE(client.Connect());
  EXPECT_FALSE(client.Connected());
  EXPECT_GE(errors, 1);
  EXPECT_FALSE(client.Connect());  // a retry really tries again
  client.SetPort("no-such-service");
  EXPECT_THROW(client.Connect(), base::EConvertError);
  EXPECT_FALSE(client.Connected());
}

}  // namespace

namespace {

// One arrival holds two lines and the start of a body: the lines come from memory, and
// what follows them is still there, in order, for peeks and reads; a buffered byte is
// readable even after an interrupt, and only then do waits end at once.
TEST(QZTCPClient, ReadAheadKeepsWhatFollowsALine) {
  TScriptedServer server;
  server.Send("one\r\ntwo\r\nbody-bytes").Stall();
  server.Start();
  auto client = ConnectTo(server);
  std::atomic<bool> interrupt{false};
  client->Interrupt = &interrupt;
  ASSERT_TRUE(client->WaitForData(3000));
  std::string line;
  ASSERT_TRUE(client->ReadLn(line, 3000));
  EXPECT_EQ(line, "one");
  ASSERT_TRUE(client->ReadLn(line, 3000));
  EXPECT_EQ(line, "two");
  EXPECT_EQ(client->Buffered(), 10u);
  char buf[16];
  EXPECT_EQ(client->Peek(buf, 4), 4);
  EXPECT_EQ(std::string(buf, 4), "body");
  interrupt = true;
  EXPECT_TRUE(client->WaitForData(3000));
  EXPECT_EQ(client->ReadAvailable(buf, 5, 3000), 5);
  EXPECT_EQ(std::string(buf, 5), "body-");
  EXPECT_EQ(client->Receive(buf, sizeof buf), 5);
  EXPECT_EQ(std::string(buf, 5), "bytes");
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(client->WaitForData(3000));
  EXPECT_EQ(client->ReadAvailable(buf, 5, 3000), net::TQZTCPClient::kReadFailed);
  EXPECT_LT(MsSince(start), 1000);
}

// A line longer than the read-ahead buffer, in many arrivals, is still read whole when
// the caller allows its length; a new connection never sees the old one's bytes.
TEST(QZTCPClient, LongLinesAndReconnectsAroundTheReadAheadBuffer) {
  const std::string longLine(net::TQZTCPClient::kReadAheadSize * 2 + 123, 'x');
  TScriptedServer server;
  server.Send(longLine.substr(0, 1000))
      .Wait(30)
      .Send(longLine.substr(1000) + "\r\nleft over")
      .Wait(30)
      .AcceptNext()
      .Send("fresh\r\n")
      .Stall();
  server.Start();
  auto client = ConnectTo(server);
  std::string line;
  ASSERT_TRUE(client->ReadLn(line, 3000, "\r\n", longLine.size()));
  EXPECT_EQ(line.size(), longLine.size());
  EXPECT_TRUE(line == longLine);
  EXPECT_TRUE(client->WaitForData(3000));
  EXPECT_GT(client->Buffered(), 0u);
  client->Disconnect();
  EXPECT_EQ(client->Buffered(), 0u);
  ASSERT_TRUE(client->Connect());
  ASSERT_TRUE(client->ReadLn(line, 3000));
  EXPECT_EQ(line, "fresh");
}

// Bytes that came before a TLS handshake cannot be handed to the TLS engine: the switch
// is refused rather than run on a stream that lost its start.
TEST(QZTCPClient, TlsIsNotStartedOverBufferedBytes) {
  TScriptedServer server;
  server.Send("early").Stall();
  server.Start();
  auto client = ConnectTo(server);
  ASSERT_TRUE(client->WaitForData(3000));
  EXPECT_FALSE(client->StartTLS());
  EXPECT_FALSE(client->SSLActive());
}

}  // namespace
