// BSD sockets behind the Winsock 1.1 calls of the socket component.
#include "platform/Sockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace platform {

namespace {

thread_local int tLastError = 0;
std::atomic<int> gStartups{0};

int WinsockCode(int e) {
  switch (e) {
    case EINTR: return kWSAEINTR;
    case EBADF: return kWSAENOTSOCK;
    case EINVAL: return kWSAEINVAL;
    case EAGAIN: return kWSAEWOULDBLOCK;
    case EINPROGRESS: return kWSAEINPROGRESS;
    case ENOTSOCK: return kWSAENOTSOCK;
    case ECONNRESET: return kWSAECONNRESET;
    case EPIPE: return kWSAESHUTDOWN;
    case ENOTCONN: return kWSAENOTCONN;
    case ESHUTDOWN: return kWSAESHUTDOWN;
    case ETIMEDOUT: return kWSAETIMEDOUT;
    case ECONNREFUSED: return kWSAECONNREFUSED;
    case EADDRINUSE: return 10048;
    case EADDRNOTAVAIL: return 10049;
    case ENETUNREACH: return 10051;
    case ECONNABORTED: return 10053;
    case EISCONN: return 10056;
    case EHOSTUNREACH: return 10065;
    case EMFILE: return 10024;
    case EALREADY: return 10037;
    default: return e;  // no Winsock twin: the raw errno
  }
}

int Fail() {
  tLastError = WinsockCode(errno);
  return kSocketError;
}

int Check(int rc) { return rc < 0 ? Fail() : rc; }

int SetTimeout(TSocket s, int option, int32_t ms) {
  timeval tv{};
  tv.tv_sec = ms / 1000;
  tv.tv_usec = (ms % 1000) * 1000;
  return Check(setsockopt(static_cast<int>(s), SOL_SOCKET, option, &tv, sizeof tv));
}

int SetInt(TSocket s, int level, int option, int value) {
  return Check(setsockopt(static_cast<int>(s), level, option, &value, sizeof value));
}

}  // namespace

int SocketStartup(uint16_t) {
  ++gStartups;
  return 0;
}

int SocketCleanup() {
  int n = gStartups.load();
  while (n > 0 && !gStartups.compare_exchange_weak(n, n - 1)) {
  }
  if (n > 0) return 0;
  tLastError = kWSANOTINITIALISED;
  return kSocketError;
}

int SocketLastError() { return tLastError; }

TSocket SocketCreate() {
  // Close-on-exec so that programs the tests start do not inherit our connections.
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    Fail();
    return kInvalidSocket;
  }
  return fd;
}

int SocketClose(TSocket s) { return Check(close(static_cast<int>(s))); }

int SocketConnect(TSocket s, uint32_t address, uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = address;
  sa.sin_port = port;
  return Check(connect(static_cast<int>(s), reinterpret_cast<const sockaddr*>(&sa), sizeof sa));
}

int SocketShutdown(TSocket s, int how) {
  return Check(shutdown(static_cast<int>(s), how == 0 ? SHUT_RD : how == 1 ? SHUT_WR : SHUT_RDWR));
}

int SocketRecv(TSocket s, void* buffer, int length, int flags) {
  int f = (flags & kMsgPeek) ? MSG_PEEK : 0;
  ssize_t n;
  do {
    n = recv(static_cast<int>(s), buffer, static_cast<size_t>(length < 0 ? 0 : length), f);
  } while (n < 0 && errno == EINTR);
  return n < 0 ? Fail() : static_cast<int>(n);
}

int SocketSend(TSocket s, const void* buffer, int length, int) {
  ssize_t n;
  // A closed peer must show up as an error result, not as a process-ending signal.
  do {
    n = send(static_cast<int>(s), buffer, static_cast<size_t>(length < 0 ? 0 : length), MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  return n < 0 ? Fail() : static_cast<int>(n);
}

int SocketSetNonBlocking(TSocket s, bool nonBlocking) {
  int on = nonBlocking ? 1 : 0;
  return Check(ioctl(static_cast<int>(s), FIONBIO, &on));
}

int SocketSelect(TSocket s, bool* wantRead, bool* wantWrite, bool* wantExcept, int32_t timeoutMs) {
  // poll instead of select: a descriptor number above FD_SETSIZE must not overrun a set.
  pollfd p{};
  p.fd = static_cast<int>(s);
  if (wantRead && *wantRead) p.events |= POLLIN;
  if (wantWrite && *wantWrite) p.events |= POLLOUT;
  if (wantExcept && *wantExcept) p.events |= POLLPRI;
  int rc = poll(&p, 1, timeoutMs < 0 ? -1 : timeoutMs);
  if (rc < 0) return Fail();
  if (p.revents & POLLNVAL) {
    tLastError = kWSAENOTSOCK;
    return kSocketError;
  }
  // As with select: a closed or failed socket counts as readable (the read reports it)
  // and, for a connect in flight, as writable (SO_ERROR tells the outcome).
  bool r = (p.revents & (POLLIN | POLLHUP | POLLERR)) && (p.events & POLLIN);
  bool w = (p.revents & (POLLOUT | POLLHUP | POLLERR)) && (p.events & POLLOUT);
  bool e = (p.revents & POLLPRI) && (p.events & POLLPRI);
  if (wantRead) *wantRead = r;
  if (wantWrite) *wantWrite = w;
  if (wantExcept) *wantExcept = e;
  return (r ? 1 : 0) + (w ? 1 : 0) + (e ? 1 : 0);
}

int SocketSetSendTimeout(TSocket s, int32_t ms) { return SetTimeout(s, SO_SNDTIMEO, ms); }
int SocketSetReceiveTimeout(TSocket s, int32_t ms) { return SetTimeout(s, SO_RCVTIMEO, ms); }
int SocketSetSendBufferSize(TSocket s, int32_t bytes) { return SetInt(s, SOL_SOCKET, SO_SNDBUF, bytes); }
int SocketSetReceiveBufferSize(TSocket s, int32_t bytes) { return SetInt(s, SOL_SOCKET, SO_RCVBUF, bytes); }
int SocketSetNoDelay(TSocket s, bool on) { return SetInt(s, IPPROTO_TCP, TCP_NODELAY, on ? 1 : 0); }

int SocketSetLinger(TSocket s, bool on, uint16_t seconds) {
  linger l{};
  l.l_onoff = on ? 1 : 0;
  l.l_linger = seconds;
  return Check(setsockopt(static_cast<int>(s), SOL_SOCKET, SO_LINGER, &l, sizeof l));
}

int SocketPendingError(TSocket s) {
  int err = 0;
  socklen_t len = sizeof err;
  if (getsockopt(static_cast<int>(s), SOL_SOCKET, SO_ERROR, &err, &len) < 0) return Fail();
  return err == 0 ? 0 : WinsockCode(err);
}

int SocketBind(TSocket s, uint32_t address, uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = address;
  sa.sin_port = port;
  return Check(bind(static_cast<int>(s), reinterpret_cast<const sockaddr*>(&sa), sizeof sa));
}

int SocketListen(TSocket s, int backlog) { return Check(listen(static_cast<int>(s), backlog)); }

TSocket SocketAccept(TSocket s) {
  int fd;
  do {
    fd = accept4(static_cast<int>(s), nullptr, nullptr, SOCK_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    Fail();
    return kInvalidSocket;
  }
  return fd;
}

int SocketLocalPort(TSocket s) {
  sockaddr_in sa{};
  socklen_t len = sizeof sa;
  if (getsockname(static_cast<int>(s), reinterpret_cast<sockaddr*>(&sa), &len) < 0) return Fail();
  return ntohs(sa.sin_port);
}

bool ResolveHost(const std::string& name, uint32_t& address) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  if (getaddrinfo(name.c_str(), nullptr, &hints, &list) != 0 || !list) return false;
  address = reinterpret_cast<const sockaddr_in*>(list->ai_addr)->sin_addr.s_addr;
  freeaddrinfo(list);
  return true;
}

uint32_t InetAddr(const std::string& text) { return inet_addr(text.c_str()); }

int ServicePort(const std::string& name) {
  servent entry{};
  servent* found = nullptr;
  char buffer[1024];
  if (getservbyname_r(name.c_str(), nullptr, &entry, buffer, sizeof buffer, &found) != 0 || !found) return -1;
  return ntohs(static_cast<uint16_t>(found->s_port));
}

uint16_t HostToNetShort(uint16_t v) { return htons(v); }

}  // namespace platform
