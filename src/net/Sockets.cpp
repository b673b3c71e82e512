#include "net/Sockets.h"

#include <algorithm>

#include "base/Format.h"
#include "base/Strings.h"
#include "platform/Process.h"

namespace net {

void WinsockStartup() {
  if (platform::SocketStartup(0x0101) != 0) throw ESocketError("WSAStartup");
}

void WinsockCleanup() {
  if (platform::SocketCleanup() != 0) throw ESocketError("WSACleanup");
}

namespace {

// Start-up when the program loads this unit, clean-up when it ends. A start-up failure
// ends the program (nothing network-related can work); a clean-up failure at exit can
// only be reported.
struct TWinsockUnit {
  TWinsockUnit() { WinsockStartup(); }
  ~TWinsockUnit() {
    try {
      WinsockCleanup();
    } catch (const ESocketError& e) {
      platform::DebugOutput(e.Message());
    }
  }
} gWinsockUnit;

}  // namespace

// --- TBaseSocket ---------------------------------------------------------------------

TBaseSocket::~TBaseSocket() {
  // Derived destructors close through their own Close; this only releases the handle.
  if (FActive) TBaseSocket::Close();
}

void TBaseSocket::SetActive(bool value) {
  if (value)
    Open();
  else
    Close();
}

void TBaseSocket::SetBlockMode(TSocketBlockMode value) {
  if (value == FBlockMode) return;
  if (FActive) Close();
  FBlockMode = value;
}

int TBaseSocket::ErrorCheck(int rc) {
  if (rc == platform::kSocketError) DoHandleError();
  return rc;
}

void TBaseSocket::Open() {
  if (FActive) return;
  platform::TSocket s = platform::SocketCreate();
  ErrorCheck(s == platform::kInvalidSocket ? platform::kSocketError : 0);
  FSocket = s;
  FActive = s != platform::kInvalidSocket;
  if (FActive && FBlockMode == bmNonBlocking) ErrorCheck(platform::SocketSetNonBlocking(FSocket, true));
  FBytesReceived = 0;
  FBytesSent = 0;
  DoCreateHandle();
}

void TBaseSocket::Close() {
  if (!FActive) return;
  ErrorCheck(platform::SocketClose(FSocket));
  FSocket = platform::kInvalidSocket;
  FActive = false;
  DoDestroyHandle();
}

int TBaseSocket::ReceiveBuf(void* buffer, int count, int flags) {
  int n = ErrorCheck(platform::SocketRecv(FSocket, buffer, count, flags));
  if (n > 0) {
    if (OnReceive) OnReceive(this, static_cast<uint8_t*>(buffer), n);
    FBytesReceived += static_cast<uint32_t>(n);
  }
  return n;
}

int TBaseSocket::SendBuf(const void* buffer, int count, int flags) {
  int length = count;
  if (OnSend) {
    OnSend(this, static_cast<uint8_t*>(const_cast<void*>(buffer)), length);
    // A handler may shorten what goes out, never make us read past the caller's buffer.
    length = std::clamp(length, 0, count);
  }
  int n = ErrorCheck(platform::SocketSend(FSocket, buffer, length, flags));
  if (n > 0) FBytesSent += static_cast<uint32_t>(n);
  return n;
}

int TBaseSocket::PeekBuf(void* buffer, int count) {
  return ErrorCheck(platform::SocketRecv(FSocket, buffer, count, platform::kMsgPeek));
}

bool TBaseSocket::Select(bool* readReady, bool* writeReady, bool* exceptFlag, int32_t ms) {
  int rc = ErrorCheck(platform::SocketSelect(FSocket, readReady, writeReady, exceptFlag, ms));
  if (rc == platform::kSocketError) {
    for (bool* f : {readReady, writeReady, exceptFlag}) {
      if (f) *f = false;
    }
    return false;
  }
  return rc > 0;
}

void TBaseSocket::DoCreateHandle() {
  if (FActive && OnCreateHandle) OnCreateHandle(this);
}

void TBaseSocket::DoDestroyHandle() {
  if (OnDestroyHandle) OnDestroyHandle(this);
}

void TBaseSocket::DoHandleError() {
  int error = platform::SocketLastError();
  if (OnError) OnError(this, error);
}

// --- TIpSocket -----------------------------------------------------------------------

void TIpSocket::SetRemoteHost(const std::string& value) {
  if (value == FRemoteHost) return;
  if (FActive) Close();
  FRemoteHost = value;
}

void TIpSocket::SetRemotePort(const std::string& value) {
  if (value == FRemotePort) return;
  if (FActive) Close();
  FRemotePort = value;
}

std::string TIpSocket::LookupHostAddr(const std::string& host) {
  if (host.empty()) return "0.0.0.0";
  if (!(host[0] >= '0' && host[0] <= '9')) {
    uint32_t a = 0;
    if (!platform::ResolveHost(host, a)) return "";
    return base::Format("%d.%d.%d.%d", a & 0xFF, (a >> 8) & 0xFF, (a >> 16) & 0xFF, a >> 24);
  }
  return platform::InetAddr(host) != platform::kInaddrNone ? host : std::string();
}

uint16_t TIpSocket::LookupPort(const std::string& port) {
  if (port.empty()) return 0;
  int known = platform::ServicePort(port);
  if (known >= 0) return static_cast<uint16_t>(known);
  int32_t value = base::StrToInt(port);
  return value >= 0 && value <= 0xFFFF ? static_cast<uint16_t>(value) : 0;
}

// --- TCustomIpClient -----------------------------------------------------------------

TCustomIpClient::~TCustomIpClient() { TCustomIpClient::Close(); }

void TCustomIpClient::Open() {
  TIpSocket::Open();
  if (!FActive || FConnected) return;
  uint16_t port = LookupPort(RemotePort());
  uint32_t address = platform::InetAddr(LookupHostAddr(RemoteHost()));
  int rc = ErrorCheck(platform::SocketConnect(FSocket, address, platform::HostToNetShort(port)));
  FConnected = rc == 0;
  if (FConnected) DoConnect();
}

void TCustomIpClient::Close() {
  if (FConnected) {
    ErrorCheck(platform::SocketShutdown(FSocket, platform::kShutdownBoth));
    FConnected = false;
    DoDisconnect();
  }
  TIpSocket::Close();
}

void TCustomIpClient::DoConnect() {
  if (OnConnect) OnConnect(this);
}

void TCustomIpClient::DoDisconnect() {
  if (OnDisconnect) OnDisconnect(this);
}

}  // namespace net
