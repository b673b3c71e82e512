// Proxy settings and the negotiation that turns a connection to a proxy into a tunnel
// to the target: HTTP CONNECT (optionally with Basic credentials) or SOCKS5 (RFC 1928,
// user/password per RFC 1929). Every TQZTCPClient owns one TQZTCPProxy; a client's
// connections are direct unless a caller assigns proxy settings.
#pragma once

#include <cstdint>
#include <string>

#include "base/Exceptions.h"

namespace net {

class TQZTCPClient;

using base::Exception;
BASE_DECLARE_EXCEPTION(ESocksProxyError, Exception);

enum TQZProxyType : uint8_t { ptNone = 0, ptHTTP = 1, ptSocks5 = 2 };

struct TQZProxyInfo {
  TQZProxyType ProxyType = ptNone;
  std::string Host;
  std::string Port;
  std::string UserName;
  std::string Password;
  std::string Reserved;  // carried along, read by no negotiation
};

// Copied into the proxy of every new TQZTCPClient; the program never changes it.
extern const TQZProxyInfo DefaultProxyInfo;

class TQZTCPProxy {
 public:
  explicit TQZTCPProxy(TQZTCPClient* client) : FClient(client) {}

  void Assign(const TQZProxyInfo& info);

  // Opens the client's socket to the target (ptNone) or to the proxy and negotiates the
  // tunnel. True when the target is reachable through the socket. On any failure the
  // socket is closed again. SOCKS5 refusals and time-outs raise ESocksProxyError (the
  // QZSocketConsts texts) after closing.
  bool Connect(const std::string& host, const std::string& port);
  bool HttpConnect(const std::string& host, const std::string& port);
  bool Socks5Connect(const std::string& host, const std::string& port);
  bool HasAuth() const { return !UserName.empty(); }

  TQZProxyType ProxyType = ptNone;
  std::string ProxyHost;
  std::string ProxyPort;
  std::string UserName;
  std::string Password;
  // Milliseconds every negotiation wait may take; set by Connect from the socket's
  // ConnectTimeout (10000 when that is 0).
  int32_t ProxyTimeout = 0;

 private:
  // Receives exactly count bytes, waiting ProxyTimeout for each piece; the bytes got.
  int ReceiveExact(uint8_t* buffer, int count);
  void SocksWait();
  TQZTCPClient* FClient;  // owner
};

}  // namespace net
