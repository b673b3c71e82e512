#include "support/net/ScriptedServer.h"

#include <algorithm>
#include <chrono>

namespace testsupport {

namespace {

const uint32_t kLoopback = platform::InetAddr("127.0.0.1");

using Clock = std::chrono::steady_clock;

bool SendAll(platform::TSocket s, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    int n = platform::SocketSend(s, data.data() + done, static_cast<int>(data.size() - done), 0);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

bool WaitReadable(platform::TSocket s, int ms, const std::atomic<bool>& stop) {
  auto end = Clock::now() + std::chrono::milliseconds(ms);
  while (!stop) {
    bool readable = true;
    int rc = platform::SocketSelect(s, &readable, nullptr, nullptr, 50);
    if (rc < 0) return false;
    if (rc > 0 && readable) return true;
    if (Clock::now() >= end) return false;
  }
  return false;
}

platform::TSocket ConnectWithoutWaiting(uint16_t port) {
  platform::TSocket s = platform::SocketCreate();
  if (s == platform::kInvalidSocket) return s;
  platform::SocketSetNonBlocking(s, true);
  platform::SocketConnect(s, kLoopback, platform::HostToNetShort(port));
  return s;
}

// --- TLoopbackListener ---------------------------------------------------------------

TLoopbackListener::TLoopbackListener(int backlog) {
  FSocket = platform::SocketCreate();
  if (FSocket == platform::kInvalidSocket) return;
  if (platform::SocketBind(FSocket, kLoopback, 0) != 0 || platform::SocketListen(FSocket, backlog) != 0) return;
  int port = platform::SocketLocalPort(FSocket);
  FPort = port > 0 ? static_cast<uint16_t>(port) : 0;
}

TLoopbackListener::~TLoopbackListener() {
  if (FSocket != platform::kInvalidSocket) platform::SocketClose(FSocket);
}

// --- TScriptedServer -----------------------------------------------------------------

TScriptedServer::TScriptedServer() = default;

TScriptedServer::~TScriptedServer() {
  FStop = true;
  if (FThread.joinable()) FThread.join();
}

TScriptedServer& TScriptedServer::Send(std::string bytes) {
  FSteps.push_back({Step::SendBytes, std::move(bytes), 0, 0});
  return *this;
}
TScriptedServer& TScriptedServer::SendPattern(uint64_t count, uint64_t from) {
  FSteps.push_back({Step::SendGenerated, {}, count, from});
  return *this;
}
TScriptedServer& TScriptedServer::Wait(int ms) {
  FSteps.push_back({Step::Pause, {}, static_cast<size_t>(ms), 0});
  return *this;
}
TScriptedServer& TScriptedServer::Expect(std::string text, size_t times) {
  FSteps.push_back({Step::ExpectText, std::move(text), times, 0});
  return *this;
}
TScriptedServer& TScriptedServer::ExpectBytes(size_t count) {
  FSteps.push_back({Step::ExpectCount, {}, count, 0});
  return *this;
}
TScriptedServer& TScriptedServer::HalfClose() {
  FSteps.push_back({Step::ShutdownSend, {}, 0, 0});
  return *this;
}
TScriptedServer& TScriptedServer::Stall() {
  FSteps.push_back({Step::StallHere, {}, 0, 0});
  return *this;
}
TScriptedServer& TScriptedServer::Close() {
  FSteps.push_back({Step::CloseHere, {}, 0, 0});
  return *this;
}

TScriptedServer& TScriptedServer::AcceptNext() {
  FSteps.push_back({Step::AcceptHere, {}, 0, 0});
  return *this;
}

void TScriptedServer::Start() {
  FThread = std::thread([this] { Run(); });
}

bool TScriptedServer::WaitDone(int ms) {
  auto end = Clock::now() + std::chrono::milliseconds(ms);
  while (!FDone) {
    if (Clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

std::string TScriptedServer::Received() {
  std::lock_guard<std::mutex> g(FLock);
  return FReceived;
}

bool TScriptedServer::ReadSome(platform::TSocket s, int ms) {
  if (!WaitReadable(s, ms, FStop)) return false;
  char buf[4096];
  int n = platform::SocketRecv(s, buf, sizeof buf, 0);
  if (n <= 0) return false;
  std::lock_guard<std::mutex> g(FLock);
  FReceived.append(buf, static_cast<size_t>(n));
  return true;
}

void TScriptedServer::Run() {
  platform::TSocket s = platform::kInvalidSocket;
  if (WaitReadable(FListener.Handle(), kServerWaitMs, FStop)) s = platform::SocketAccept(FListener.Handle());
  if (s == platform::kInvalidSocket) {
    FDone = true;
    return;
  }
  bool open = true;
  bool stalled = false;
  for (const Step& step : FSteps) {
    if (FStop) break;
    switch (step.Type) {
      case Step::SendBytes: SendAll(s, step.Data); break;
      case Step::SendGenerated: {
        // One period of the pattern fits a piece whose length is a multiple of 251.
        std::string piece(251 * 1024, '\0');
        for (size_t i = 0; i < piece.size(); ++i) piece[i] = PatternByte(step.From + i);
        for (uint64_t sent = 0; sent < step.Count && !FStop;) {
          size_t n = static_cast<size_t>(std::min<uint64_t>(piece.size(), step.Count - sent));
          if (!(n == piece.size() ? SendAll(s, piece) : SendAll(s, piece.substr(0, n)))) break;
          sent += n;
        }
        break;
      }
      case Step::Pause: std::this_thread::sleep_for(std::chrono::milliseconds(step.Count)); break;
      case Step::ExpectText: {
        auto end = Clock::now() + std::chrono::milliseconds(kServerWaitMs);
        auto seen = [&] {
          std::string got = Received();
          size_t at = 0;
          for (uint64_t k = 0; k < std::max<uint64_t>(step.Count, 1); ++k, at += step.Data.size())
            if ((at = got.find(step.Data, at)) == std::string::npos) return false;
          return true;
        };
        while (!seen() && Clock::now() < end) {
          if (!ReadSome(s, kServerWaitMs)) break;
        }
        break;
      }
      case Step::ExpectCount: {
        auto end = Clock::now() + std::chrono::milliseconds(kServerWaitMs);
        while (Received().size() < step.Count && Clock::now() < end) {
          if (!ReadSome(s, kServerWaitMs)) break;
        }
        break;
      }
      case Step::ShutdownSend: platform::SocketShutdown(s, 1); break;
      case Step::StallHere: stalled = true; break;
      case Step::CloseHere:
        platform::SocketClose(s);
        open = false;
        break;
      case Step::AcceptHere:
        if (open) platform::SocketClose(s);
        s = platform::kInvalidSocket;
        if (WaitReadable(FListener.Handle(), kServerWaitMs, FStop)) s = platform::SocketAccept(FListener.Handle());
        open = s != platform::kInvalidSocket;
        break;
    }
    if (stalled || !open) break;
  }
  FDone = true;
  if (open && !stalled) {
    while (ReadSome(s, kServerWaitMs)) {
    }
  }
  if (stalled) {
    while (!FStop) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (open) platform::SocketClose(s);
}

// --- TEchoServer ---------------------------------------------------------------------

TEchoServer::TEchoServer() {
  FThread = std::thread([this] { Run(); });
}

TEchoServer::~TEchoServer() {
  FStop = true;
  if (FThread.joinable()) FThread.join();
}

void TEchoServer::Run() {
  while (!FStop) {
    if (!WaitReadable(FListener.Handle(), 100, FStop)) continue;
    platform::TSocket s = platform::SocketAccept(FListener.Handle());
    if (s == platform::kInvalidSocket) continue;
    std::string buf(64 * 1024, '\0');
    while (WaitReadable(s, kServerWaitMs, FStop)) {
      int n = platform::SocketRecv(s, buf.data(), static_cast<int>(buf.size()), 0);
      if (n <= 0) break;
      // Counted before the bytes go back: a client that has read its echo must see them counted.
      FEchoed += static_cast<uint64_t>(n);
      if (!SendAll(s, buf.substr(0, static_cast<size_t>(n)))) break;
    }
    platform::SocketClose(s);
  }
}

}  // namespace testsupport
