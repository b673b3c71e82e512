// Winsock 1.1 (wsock32) for the socket component.
#include "platform/Sockets.h"

#include <winsock.h>

namespace platform {

namespace {

int Check(int rc) { return rc == SOCKET_ERROR ? kSocketError : rc; }

SOCKET Handle(TSocket s) { return static_cast<SOCKET>(s); }

int SetOption(TSocket s, int level, int option, const void* value, int length) {
  return Check(setsockopt(Handle(s), level, option, static_cast<const char*>(value), length));
}

}  // namespace

int SocketStartup(uint16_t version) {
  WSADATA data;
  return WSAStartup(version, &data);
}

int SocketCleanup() { return WSACleanup() == 0 ? 0 : kSocketError; }

int SocketLastError() { return WSAGetLastError(); }

TSocket SocketCreate() {
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  return s == INVALID_SOCKET ? kInvalidSocket : static_cast<TSocket>(s);
}

int SocketClose(TSocket s) { return Check(closesocket(Handle(s))); }

int SocketConnect(TSocket s, uint32_t address, uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = address;
  sa.sin_port = port;
  return Check(connect(Handle(s), reinterpret_cast<const sockaddr*>(&sa), sizeof sa));
}

int SocketShutdown(TSocket s, int how) { return Check(shutdown(Handle(s), how)); }

int SocketRecv(TSocket s, void* buffer, int length, int flags) {
  return Check(recv(Handle(s), static_cast<char*>(buffer), length, flags));
}

int SocketSend(TSocket s, const void* buffer, int length, int flags) {
  return Check(send(Handle(s), static_cast<const char*>(buffer), length, flags));
}

int SocketSetNonBlocking(TSocket s, bool nonBlocking) {
  u_long on = nonBlocking ? 1 : 0;
  return Check(ioctlsocket(Handle(s), FIONBIO, &on));
}

int SocketSelect(TSocket s, bool* wantRead, bool* wantWrite, bool* wantExcept, int32_t timeoutMs) {
  fd_set sets[3];
  fd_set* used[3] = {nullptr, nullptr, nullptr};
  bool* wants[3] = {wantRead, wantWrite, wantExcept};
  for (int i = 0; i < 3; ++i) {
    if (wants[i] && *wants[i]) {
      FD_ZERO(&sets[i]);
      FD_SET(Handle(s), &sets[i]);
      used[i] = &sets[i];
    }
  }
  timeval tv{};
  tv.tv_sec = timeoutMs / 1000;
  tv.tv_usec = (timeoutMs % 1000) * 1000;
  // The first argument is ignored by Winsock; it is kept as BSD sockets expect it.
  int rc = select(static_cast<int>(Handle(s) + 1), used[0], used[1], used[2], timeoutMs < 0 ? nullptr : &tv);
  if (rc == SOCKET_ERROR) return kSocketError;
  for (int i = 0; i < 3; ++i) {
    if (wants[i]) *wants[i] = used[i] && FD_ISSET(Handle(s), used[i]);
  }
  return rc;
}

int SocketSetSendTimeout(TSocket s, int32_t ms) {
  DWORD v = static_cast<DWORD>(ms);
  return SetOption(s, SOL_SOCKET, SO_SNDTIMEO, &v, sizeof v);
}

int SocketSetReceiveTimeout(TSocket s, int32_t ms) {
  DWORD v = static_cast<DWORD>(ms);
  return SetOption(s, SOL_SOCKET, SO_RCVTIMEO, &v, sizeof v);
}

int SocketSetSendBufferSize(TSocket s, int32_t bytes) {
  return SetOption(s, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes);
}

int SocketSetReceiveBufferSize(TSocket s, int32_t bytes) {
  return SetOption(s, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

int SocketSetNoDelay(TSocket s, bool on) {
  // The product's 4-byte boolean: -1 for true.
  int32_t v = on ? -1 : 0;
  return SetOption(s, IPPROTO_TCP, TCP_NODELAY, &v, sizeof v);
}

int SocketSetLinger(TSocket s, bool on, uint16_t seconds) {
  linger l;  // two 16-bit words in Winsock 1.1
  l.l_onoff = on ? 1 : 0;
  l.l_linger = seconds;
  return SetOption(s, SOL_SOCKET, SO_LINGER, &l, sizeof l);
}

int SocketPendingError(TSocket s) {
  int err = 0;
  int len = sizeof err;
  if (getsockopt(Handle(s), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) == SOCKET_ERROR) {
    return kSocketError;
  }
  return err;
}

int SocketBind(TSocket s, uint32_t address, uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = address;
  sa.sin_port = port;
  return Check(bind(Handle(s), reinterpret_cast<const sockaddr*>(&sa), sizeof sa));
}

int SocketListen(TSocket s, int backlog) { return Check(listen(Handle(s), backlog)); }

TSocket SocketAccept(TSocket s) {
  SOCKET a = accept(Handle(s), nullptr, nullptr);
  return a == INVALID_SOCKET ? kInvalidSocket : static_cast<TSocket>(a);
}

int SocketLocalPort(TSocket s) {
  sockaddr_in sa{};
  int len = sizeof sa;
  if (getsockname(Handle(s), reinterpret_cast<sockaddr*>(&sa), &len) == SOCKET_ERROR) return kSocketError;
  return ntohs(sa.sin_port);
}

bool ResolveHost(const std::string& name, uint32_t& address) {
  hostent* h = gethostbyname(name.c_str());
  if (!h || h->h_addrtype != AF_INET || h->h_length != 4 || !h->h_addr_list || !h->h_addr_list[0]) return false;
  const auto* b = reinterpret_cast<const uint8_t*>(h->h_addr_list[0]);
  address = static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 | static_cast<uint32_t>(b[2]) << 16 |
            static_cast<uint32_t>(b[3]) << 24;
  return true;
}

uint32_t InetAddr(const std::string& text) { return inet_addr(text.c_str()); }

int ServicePort(const std::string& name) {
  servent* s = getservbyname(name.c_str(), nullptr);
  return s ? ntohs(static_cast<uint16_t>(s->s_port)) : -1;
}

uint16_t HostToNetShort(uint16_t v) { return htons(v); }

}  // namespace platform
