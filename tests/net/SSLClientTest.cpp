#include <gtest/gtest.h>

#include <chrono>

#include "net/QZTCPClient.h"
#include "net/SSLClient.h"
#include "platform/Thread.h"
#include "support/net/RealServers.h"
#include "support/net/ScriptedServer.h"

namespace {

// Talks to openssl s_server -rev, which answers every line with its text reversed.
TEST(SSLClient, HandshakeWritePeekReadShutdown) {
  std::string port = testsupport::TlsServerPort();
  if (port.empty()) GTEST_SKIP() << "openssl s_server is not running (run through tests/support/net/with-servers)";
  net::TSSLClient::SetLibraryName("");
  net::TQZTCPClient client;
  client.SetHost("localhost");  // the name the certificate carries
  client.SetPort(port);
  client.SetUseSSL(true);
  // The server's certificate is its own CA: refused until that CA is named.
  net::TSSLClient::SetExtraCAFile("");
  EXPECT_FALSE(client.Connect());
  net::TSSLClient::SetExtraCAFile(testsupport::TlsCAFile());
  ASSERT_TRUE(client.Connect());
  net::TSSLClient::SetExtraCAFile("");
  ASSERT_TRUE(client.SSLActive());
  EXPECT_TRUE(net::TSSLClient::LibraryLoaded());
  EXPECT_EQ(client.SendString("hello orbelle", "\n"), 14);
  ASSERT_TRUE(client.WaitForData(10000));
  // Peek until the whole answer is there; it must stay for the reads.
  char buf[64];
  int peeked = 0;
  for (int i = 0; i < 50 && peeked < 14; ++i) {
    peeked = client.Peek(buf, sizeof buf);
    if (peeked < 14) platform::SleepMs(20);
  }
  ASSERT_GE(peeked, 14);
  EXPECT_EQ(std::string(buf, 14), "ellebro olleh\n");
  EXPECT_EQ(client.Peek(buf, 5), 5);
  std::string line;
  ASSERT_TRUE(client.ReadLn(line, 5000, "\n"));
  EXPECT_EQ(line, "ellebro olleh");
  // A second exchange on the same session: data decrypted ahead must count as waiting.
  EXPECT_EQ(client.SendString("ab", "\ncd\n"), 6);
  ASSERT_TRUE(client.ReadLn(line, 5000, "\n"));
  EXPECT_EQ(line, "ba");
  ASSERT_TRUE(client.ReadLn(line, 5000, "\n"));
  EXPECT_EQ(line, "dc");
  client.Disconnect();  // close notification, then the socket
  EXPECT_FALSE(client.Connected());
  EXPECT_FALSE(client.SSLActive());
  EXPECT_TRUE(client.UseSSL());  // remembered for the next connect
}

TEST(SSLClient, MissingLibraryMakesConnectFail) {
  testsupport::TScriptedServer server;
  server.Stall();
  server.Start();
  net::TSSLClient::SetLibraryName("no-such-ssl-library");
  net::TQZTCPClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(server.PortText());
  client.SetUseSSL(true);
  EXPECT_FALSE(client.Connect());
  EXPECT_FALSE(client.Connected());
  EXPECT_FALSE(net::TSSLClient::LibraryLoaded());
  {
    // A client made without the library refuses every call instead of crashing.
    net::TSSLClient ssl(platform::kInvalidSocket);
    EXPECT_FALSE(ssl.Ready());
    char b[4];
    EXPECT_FALSE(ssl.Connect());
    EXPECT_EQ(ssl.Read(b, 4), -1);
    EXPECT_EQ(ssl.Peek(b, 4), -1);
    EXPECT_EQ(ssl.Write(b, 4), -1);
  }
  net::TSSLClient::SetLibraryName("");
}

TEST(SSLClient, PlainPeerFailsTheHandshakeWithoutHanging) {
  testsupport::TScriptedServer server;
  server.ExpectBytes(1).Send("HTTP/1.0 400 Bad Request\r\n\r\n").Close();
  server.Start();
  net::TSSLClient::SetLibraryName("");
  net::TQZTCPClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(server.PortText());
  client.SetUseSSL(true);
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(client.Connect());
  EXPECT_FALSE(client.Connected());
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count(),
            5000);
}

// A server that takes the connection and never answers the handshake: the engine gives
// up after the socket's receive time-out instead of waiting for ever.
TEST(SSLClient, SilentPeerEndsTheHandshakeAfterTheReceiveTimeout) {
  testsupport::TScriptedServer server;
  server.ExpectBytes(1).Stall();
  server.Start();
  net::TSSLClient::SetLibraryName("");
  net::TQZTCPClient client;
  client.Socket().ReceiveTimeout = 500;
  client.SetHost("127.0.0.1");
  client.SetPort(server.PortText());
  client.SetUseSSL(true);
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(client.Connect());
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(ms, 400);
  EXPECT_LT(ms, 5000);
  EXPECT_FALSE(client.Connected());
}

}  // namespace
