#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <vector>

#include "net/Sockets.h"
#include "net/TcpClientEx.h"
#include "platform/Thread.h"
#include "support/net/ScriptedServer.h"

namespace {

using testsupport::TScriptedServer;

// Counts the events of one socket.
struct TEventLog {
  int Connects = 0, Disconnects = 0, Creates = 0, Destroys = 0;
  std::vector<int> Errors;
  void Connect(base::TObject*) { ++Connects; }
  void Disconnect(base::TObject*) { ++Disconnects; }
  void Create(base::TObject*) { ++Creates; }
  void Destroy(base::TObject*) { ++Destroys; }
  void Error(base::TObject*, int e) { Errors.push_back(e); }
  void Attach(net::TTcpClientEx& s) {
    s.OnConnect = base::Method<&TEventLog::Connect>(this);
    s.OnDisconnect = base::Method<&TEventLog::Disconnect>(this);
    s.OnCreateHandle = base::Method<&TEventLog::Create>(this);
    s.OnDestroyHandle = base::Method<&TEventLog::Destroy>(this);
    s.OnError = base::Method<&TEventLog::Error>(this);
  }
};

TEST(IpSocket, Lookups) {
  EXPECT_EQ(net::TIpSocket::LookupHostAddr(""), "0.0.0.0");
  EXPECT_EQ(net::TIpSocket::LookupHostAddr("127.0.0.1"), "127.0.0.1");
  EXPECT_EQ(net::TIpSocket::LookupHostAddr("localhost"), "127.0.0.1");
  EXPECT_EQ(net::TIpSocket::LookupHostAddr("1nvalid"), "");
  EXPECT_EQ(net::TIpSocket::LookupHostAddr("no-such-host.invalid"), "");

  EXPECT_EQ(net::TIpSocket::LookupPort(""), 0);
  EXPECT_EQ(net::TIpSocket::LookupPort("8080"), 8080);
  EXPECT_EQ(net::TIpSocket::LookupPort("http"), 80);
  EXPECT_EQ(net::TIpSocket::LookupPort("70000"), 0);
  try {
    net::TIpSocket::LookupPort("nonsense");
    ADD_FAILURE() << "no conversion error";
  } catch (const base::EConvertError& e) {
    EXPECT_EQ(e.Message(), "'nonsense' is not a valid integer value");
  }
}

TEST(TcpClientEx, ConnectExchangeAndEvents) {
  TScriptedServer server;
  server.Expect("ping").Wait(150).Send("pong").Expect("bye");
  server.Start();
  {
    net::TTcpClientEx socket;
    TEventLog log;
    log.Attach(socket);
    socket.SetRemoteHost("127.0.0.1");
    socket.SetRemotePort(server.PortText());
    socket.Open();
    ASSERT_TRUE(socket.Connected());
    EXPECT_EQ(log.Connects, 1);
    EXPECT_EQ(log.Creates, 1);
    EXPECT_EQ(socket.SendBuf("ping", 4), 4);
    // The server answers late: the blocking receive waits for it.
    char buf[16];
    EXPECT_EQ(socket.ReceiveBuf(buf, sizeof buf), 4);
    EXPECT_EQ(std::string(buf, 4), "pong");
    EXPECT_EQ(socket.BytesSent(), 4u);
    EXPECT_EQ(socket.BytesReceived(), 4u);
    EXPECT_EQ(socket.SendBuf("bye", 3), 3);
    // Changing the remote host of an open socket closes it.
    socket.SetRemoteHost("localhost");
    EXPECT_FALSE(socket.Active());
    EXPECT_FALSE(socket.Connected());
    EXPECT_EQ(log.Disconnects, 1);
    EXPECT_EQ(log.Destroys, 1);
    EXPECT_TRUE(log.Errors.empty());
  }
  ASSERT_TRUE(server.WaitDone());
  EXPECT_EQ(server.Received(), "pingbye");
}

// A time-out connect that succeeds leaves a blocking socket behind: a late answer is
// waited for, not reported as would-block.
TEST(TcpClientEx, TimeoutConnectRestoresBlockingMode) {
  TScriptedServer server;
  server.Wait(300).Send("late");
  server.Start();
  net::TTcpClientEx socket;
  TEventLog log;
  log.Attach(socket);
  socket.ConnectTimeout = 3000;
  socket.SetRemoteHost("127.0.0.1");
  socket.SetRemotePort(server.PortText());
  socket.Open();
  ASSERT_TRUE(socket.Connected());
  EXPECT_FALSE(socket.Connecting());
  char buf[8];
  EXPECT_EQ(socket.ReceiveBuf(buf, sizeof buf), 4);
  EXPECT_TRUE(log.Errors.empty()) << log.Errors[0];
}

TEST(TcpClientEx, OnSendMayOnlyShortenTheData) {
  TScriptedServer server;
  server.ExpectBytes(5);
  server.Start();
  net::TTcpClientEx socket;
  socket.SetRemoteHost("127.0.0.1");
  socket.SetRemotePort(server.PortText());
  socket.Open();
  ASSERT_TRUE(socket.Connected());
  struct Shrink {
    int NewLength;
    void Handle(base::TObject*, uint8_t*, int& length) { length = NewLength; }
  } handler{2};
  socket.OnSend = base::Method<&Shrink::Handle>(&handler);
  EXPECT_EQ(socket.SendBuf("abcdef", 6), 2);
  handler.NewLength = 1000;  // more than given: no more than the buffer goes out
  EXPECT_EQ(socket.SendBuf("xyz", 3), 3);
  ASSERT_TRUE(server.WaitDone());
  socket.Close();
  EXPECT_EQ(server.Received().substr(0, 5), "abxyz");
}

TEST(TcpClientEx, RefusedConnectFails) {
  uint16_t port;
  {
    testsupport::TLoopbackListener closed;
    port = closed.Port();
  }
  for (int32_t timeout : {0, 1500}) {
    net::TTcpClientEx socket;
    TEventLog log;
    log.Attach(socket);
    socket.ConnectTimeout = timeout;
    socket.SetRemoteHost("127.0.0.1");
    socket.SetRemotePort(std::to_string(port));
    socket.Open();
    EXPECT_FALSE(socket.Connected()) << timeout;
    EXPECT_EQ(log.Connects, 0);
    if (timeout == 0) {
      ASSERT_EQ(log.Errors.size(), 1u);
      EXPECT_EQ(log.Errors[0], platform::kWSAECONNREFUSED);
    }
  }
}

// A listener whose accept queue is full drops new connection attempts: the connect
// waits exactly its time-out and fires no error for the would-block of its start.
TEST(TcpClientEx, ConnectTimeoutOnFullAcceptQueue) {
  testsupport::TLoopbackListener listener(1);
  std::vector<platform::TSocket> fillers;
  for (int i = 0; i < 8; ++i) fillers.push_back(testsupport::ConnectWithoutWaiting(listener.Port()));
  platform::SleepMs(100);

  net::TTcpClientEx socket;
  TEventLog log;
  log.Attach(socket);
  socket.ConnectTimeout = 500;
  socket.SetRemoteHost("127.0.0.1");
  socket.SetRemotePort(listener.PortText());
  auto start = std::chrono::steady_clock::now();
  socket.Open();
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  std::cout << "[ measured ] connect with ConnectTimeout 500 to a full accept queue took " << ms << " ms\n";
  RecordProperty("connect_timeout_ms", static_cast<int>(ms));
  EXPECT_FALSE(socket.Connected());
  EXPECT_GE(ms, 450);
  EXPECT_LT(ms, 2000);
  EXPECT_TRUE(log.Errors.empty()) << log.Errors[0];
  EXPECT_EQ(log.Connects, 0);
  for (auto f : fillers) platform::SocketClose(f);
}

TEST(Winsock, StartupAndCleanupAreCounted) {
  // A caller's own balanced pair leaves the unit's start-up in force.
  EXPECT_NO_THROW(net::WinsockStartup());
  EXPECT_NO_THROW(net::WinsockCleanup());
  testsupport::TScriptedServer server;
  server.Send("still up").Close();
  server.Start();
  net::TTcpClientEx socket;
  socket.SetRemoteHost("127.0.0.1");
  socket.SetRemotePort(server.PortText());
  socket.Open();
  EXPECT_TRUE(socket.Connected());
}

}  // namespace
