#include "net/QZTCPProxy.h"

#include <vector>

#include "base/Base64.h"
#include "base/Format.h"
#include "base/Strings.h"
#include "net/HTTPApp.h"
#include "net/QZSocketConsts.h"
#include "net/QZTCPClient.h"

namespace net {

const TQZProxyInfo DefaultProxyInfo{};

namespace {

// A proxy that keeps sending header lines cannot hold the connect forever.
constexpr int kMaxDrainLines = 100;
constexpr int32_t kDrainWaitMs = 10;

}  // namespace

void TQZTCPProxy::Assign(const TQZProxyInfo& info) {
  ProxyType = info.ProxyType;
  ProxyHost = info.Host;
  ProxyPort = info.Port;
  UserName = info.UserName;
  Password = info.Password;
}

bool TQZTCPProxy::Connect(const std::string& host, const std::string& port) {
  TTcpClientEx& socket = FClient->Socket();
  ProxyTimeout = socket.ConnectTimeout != 0 ? socket.ConnectTimeout : 10000;
  if (ProxyType != ptNone && ProxyType != ptHTTP && ProxyType != ptSocks5) return false;
  bool direct = ProxyType == ptNone;
  socket.SetRemoteHost(direct ? host : ProxyHost);
  socket.SetRemotePort(direct ? port : ProxyPort);
  try {
    socket.Open();
  } catch (...) {
    socket.Close();  // a port text that is no number: the handle exists already
    throw;
  }
  // An open but unconnected socket would count as a connection for the client.
  if (!socket.Connected()) {
    socket.Close();
    return false;
  }
  if (direct) return true;
  bool ok;
  try {
    ok = ProxyType == ptHTTP ? HttpConnect(host, port) : Socks5Connect(host, port);
  } catch (...) {
    socket.Close();  // a half-negotiated tunnel must not be taken for a connection
    throw;
  }
  if (ok)
    FClient->FireConnect();
  else
    socket.Close();
  return ok;
}

bool TQZTCPProxy::HttpConnect(const std::string& host, const std::string& port) {
  if (!FClient->Connected()) return false;
  std::string request = base::Format("CONNECT %s:%s HTTP/1.0", host, port) + "\r\n";
  if (HasAuth()) {
    request +=
        base::Format("Proxy-Authorization: Basic %s", base::Base64Encode(UserName + ":" + Password, false)) + "\r\n";
  }
  request += "\r\n";
  if (FClient->SendString(request) <= 0 || !FClient->WaitForData(ProxyTimeout)) return false;

  bool ok = false;
  std::string status;
  if (FClient->ReadLn(status, ProxyTimeout, "\r\n")) {
    size_t space = base::Pos(" ", status);
    if (space > 0) ok = ExtractDigits(status, static_cast<int>(space)) == "200";
  }
  // The rest of the answer belongs to the proxy, not to the tunnel.
  for (int i = 0; i < kMaxDrainLines; ++i) {
    if (!FClient->WaitForData(kDrainWaitMs)) break;
    std::string line;
    FClient->ReadLn(line, 0, "\r\n");
    if (line.empty()) break;
  }
  return ok;
}

void TQZTCPProxy::SocksWait() {
  if (!FClient->WaitForData(ProxyTimeout)) throw ESocksProxyError(sSocksTimeout);
}

int TQZTCPProxy::ReceiveExact(uint8_t* buffer, int count) {
  int got = 0;
  while (got < count) {
    if (got > 0 && !FClient->WaitForData(ProxyTimeout)) break;
    int n = FClient->Receive(buffer + got, count - got);
    if (n <= 0) break;
    got += n;
  }
  return got;
}

bool TQZTCPProxy::Socks5Connect(const std::string& host, const std::string& port) {
  if (!FClient->Connected()) return false;
  // Every length travels in one byte; longer texts cannot be sent faithfully.
  if (host.size() > 255 || UserName.size() > 255 || Password.size() > 255) return false;

  const uint8_t method = HasAuth() ? 2 : 0;
  const uint8_t greeting[3] = {5, 1, method};
  if (FClient->Send(greeting, 3) != 3) return false;
  SocksWait();
  uint8_t reply[2];
  if (ReceiveExact(reply, 2) < 2) return false;
  if (reply[1] != method || reply[1] == 0xFF) throw ESocksProxyError(sSocksInvalidAuthMethod);

  if (HasAuth()) {
    std::vector<uint8_t> auth;
    auth.push_back(1);
    auth.push_back(static_cast<uint8_t>(UserName.size()));
    auth.insert(auth.end(), UserName.begin(), UserName.end());
    auth.push_back(static_cast<uint8_t>(Password.size()));
    auth.insert(auth.end(), Password.begin(), Password.end());
    if (FClient->Send(auth.data(), static_cast<int>(auth.size())) != static_cast<int>(auth.size())) return false;
    SocksWait();
    if (ReceiveExact(reply, 2) < 2) return false;
    if (reply[1] != 0) throw ESocksProxyError(sSocksAuthError);
  }

  int32_t portValue = 0;
  if (!base::TryStrToInt(port, portValue)) portValue = 0;
  std::vector<uint8_t> request = {5, 1, 0, 3, static_cast<uint8_t>(host.size())};
  request.insert(request.end(), host.begin(), host.end());
  request.push_back(static_cast<uint8_t>((portValue >> 8) & 0xFF));
  request.push_back(static_cast<uint8_t>(portValue & 0xFF));
  if (FClient->Send(request.data(), static_cast<int>(request.size())) != static_cast<int>(request.size())) return false;
  SocksWait();

  uint8_t head[5];
  if (ReceiveExact(head, 5) < 5) return false;
  static const char* const kReplyTexts[] = {sSocksGeneralFailure,      sSocksNotAllowed,         sSocksNetUnreachable,
                                            sSocksHostUnreachable,     sSocksConnectionRefused,  sSocksTTLExpired,
                                            sSocksCommandNotSupported, sSocksAddressNotSupported};
  if (head[1] >= 1 && head[1] <= 8) throw ESocksProxyError(kReplyTexts[head[1] - 1]);
  if (head[1] != 0) throw ESocksProxyError(sSocksUnknownError);

  // The bound address: the 5 bytes read hold its first byte (or the name's length).
  int rest;
  switch (head[3]) {
    case 1: rest = 5; break;
    case 3: rest = head[4] + 2; break;
    case 4: rest = 17; break;
    default: return false;  // the length of an unknown address type cannot be known
  }
  SocksWait();
  uint8_t bound[257];
  return ReceiveExact(bound, rest) == rest;
}

}  // namespace net
