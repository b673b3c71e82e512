// Loopback servers for network tests, usable in both builds (they sit on the sockets
// compatibility service, so under Wine they are Winsock servers).
//
// TScriptedServer listens on 127.0.0.1 on a free port and plays a script on the first
// connection it accepts: send bytes, wait, wait until certain bytes have arrived, close
// the sending half, stall (stop playing, keep the connection open), close. It records
// everything it received. Every wait inside is bounded; the destructor stops the server
// thread and closes its sockets.
//
// TEchoServer sends back every byte it receives, one connection after the other.
// TLoopbackListener is a bare listening socket whose connections are never accepted.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Sockets.h"

namespace testsupport {

// The bound of every wait inside the servers.
constexpr int kServerWaitMs = 10000;

class TLoopbackListener {
 public:
  explicit TLoopbackListener(int backlog = 8);
  ~TLoopbackListener();
  TLoopbackListener(const TLoopbackListener&) = delete;
  TLoopbackListener& operator=(const TLoopbackListener&) = delete;
  uint16_t Port() const { return FPort; }
  std::string PortText() const { return std::to_string(FPort); }
  platform::TSocket Handle() const { return FSocket; }

 private:
  platform::TSocket FSocket = platform::kInvalidSocket;
  uint16_t FPort = 0;
};

class TScriptedServer {
 public:
  TScriptedServer();
  ~TScriptedServer();
  TScriptedServer(const TScriptedServer&) = delete;
  TScriptedServer& operator=(const TScriptedServer&) = delete;

  // Script steps, played in order once a client connects.
  TScriptedServer& Send(std::string bytes);
  // Sends count bytes of PatternByte(from), PatternByte(from + 1), ... without holding
  // them (for bodies larger than memory); stops early when the client goes away.
  TScriptedServer& SendPattern(uint64_t count, uint64_t from = 0);
  static char PatternByte(uint64_t offset) { return static_cast<char>(offset % 251); }
  TScriptedServer& Wait(int ms);
  // Waits until the bytes received so far hold `text` `times` times (or the bound passes).
  TScriptedServer& Expect(std::string text, size_t times = 1);
  // Waits until at least `count` bytes have been received in total.
  TScriptedServer& ExpectBytes(size_t count);
  // Shuts the sending direction: the client reads the end of the stream, can still send.
  TScriptedServer& HalfClose();
  // Stops playing and keeps the connection open (reading nothing) until destruction.
  TScriptedServer& Stall();
  TScriptedServer& Close();
  // Closes the current connection (when open) and waits for the next one; the steps
  // after it play on that connection.
  TScriptedServer& AcceptNext();

  // Begins listening and playing. After the script (unless stalled) the server keeps
  // recording what arrives until the client closes.
  void Start();
  uint16_t Port() const { return FListener.Port(); }
  std::string PortText() const { return FListener.PortText(); }
  // Waits until the script has been played through; false when the bound passed.
  bool WaitDone(int ms = kServerWaitMs);
  std::string Received();

 private:
  struct Step {
    enum Kind {
      SendBytes,
      SendGenerated,
      Pause,
      ExpectText,
      ExpectCount,
      ShutdownSend,
      StallHere,
      CloseHere,
      AcceptHere
    } Type;
    std::string Data;
    uint64_t Count = 0;
    uint64_t From = 0;
  };
  void Run();
  bool ReadSome(platform::TSocket s, int ms);
  TLoopbackListener FListener;
  std::vector<Step> FSteps;
  std::thread FThread;
  std::atomic<bool> FStop{false};
  std::atomic<bool> FDone{false};
  std::mutex FLock;
  std::string FReceived;
};

class TEchoServer {
 public:
  TEchoServer();
  ~TEchoServer();
  TEchoServer(const TEchoServer&) = delete;
  TEchoServer& operator=(const TEchoServer&) = delete;
  uint16_t Port() const { return FListener.Port(); }
  std::string PortText() const { return FListener.PortText(); }
  // Bytes received for echoing so far over all connections (counted before they are sent back).
  uint64_t Echoed() const { return FEchoed; }

 private:
  void Run();
  TLoopbackListener FListener;
  std::thread FThread;
  std::atomic<bool> FStop{false};
  std::atomic<uint64_t> FEchoed{0};
};

// Waits up to ms for the socket to become readable (true) in slices that notice stop.
bool WaitReadable(platform::TSocket s, int ms, const std::atomic<bool>& stop);

// Connects a plain socket to 127.0.0.1:port without waiting for the connect to finish
// (used to fill a listener's accept queue). The caller closes it.
platform::TSocket ConnectWithoutWaiting(uint16_t port);

}  // namespace testsupport
