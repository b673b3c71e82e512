// Sockets compatibility: the Winsock 1.1 calls the socket component makes, with the
// same results on both builds. Windows calls wsock32 directly; the native build maps the
// calls to BSD sockets and reports errors with their Winsock numbers (WSAEWOULDBLOCK
// 10035, WSAEINPROGRESS 10036, WSAECONNREFUSED 10061, ...), so that the layers above
// see one set of codes. Every call that fails returns kSocketError (-1) and leaves its
// reason for SocketLastError() on the calling thread.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

using TSocket = intptr_t;
constexpr TSocket kInvalidSocket = -1;
constexpr int kSocketError = -1;

// Winsock error numbers the callers test for.
constexpr int kWSAEINTR = 10004;
constexpr int kWSAEBADF = 10009;
constexpr int kWSAEINVAL = 10022;
constexpr int kWSAEWOULDBLOCK = 10035;
constexpr int kWSAEINPROGRESS = 10036;
constexpr int kWSAENOTSOCK = 10038;
constexpr int kWSAECONNRESET = 10054;
constexpr int kWSAENOTCONN = 10057;
constexpr int kWSAESHUTDOWN = 10058;
constexpr int kWSAETIMEDOUT = 10060;
constexpr int kWSAECONNREFUSED = 10061;
constexpr int kWSANOTINITIALISED = 10093;

constexpr int kMsgPeek = 2;       // MSG_PEEK
constexpr int kShutdownBoth = 2;  // SD_BOTH
constexpr uint32_t kInaddrNone = 0xFFFFFFFFu;

// Process-wide start and stop, counted like WSAStartup/WSACleanup: 0 on success, else
// the Winsock error. The native build keeps the same count so that an unbalanced
// cleanup fails there too (kWSANOTINITIALISED).
int SocketStartup(uint16_t version);
int SocketCleanup();

int SocketLastError();

// An IPv4 TCP socket (AF_INET, SOCK_STREAM, protocol 0); kInvalidSocket on failure.
TSocket SocketCreate();
int SocketClose(TSocket s);
// Connects to an IPv4 address and port, both in network byte order.
int SocketConnect(TSocket s, uint32_t address, uint16_t port);
int SocketShutdown(TSocket s, int how);
// Bytes moved (0 = orderly close by the peer for receive), or -1.
int SocketRecv(TSocket s, void* buffer, int length, int flags);
int SocketSend(TSocket s, const void* buffer, int length, int flags);
// FIONBIO: true makes calls return kWSAEWOULDBLOCK instead of waiting.
int SocketSetNonBlocking(TSocket s, bool nonBlocking);

// Waits until the socket is readable, writable or has an exceptional condition (only
// the sets asked for). timeoutMs < 0 waits without limit. Returns the number of ready
// sets, 0 on time-out, -1 on failure; each *want flag is set to its membership.
int SocketSelect(TSocket s, bool* wantRead, bool* wantWrite, bool* wantExcept, int32_t timeoutMs);

// Socket options in the units of the Winsock options: milliseconds for the time-outs,
// bytes for the buffers, seconds for linger.
int SocketSetSendTimeout(TSocket s, int32_t ms);
int SocketSetReceiveTimeout(TSocket s, int32_t ms);
int SocketSetSendBufferSize(TSocket s, int32_t bytes);
int SocketSetReceiveBufferSize(TSocket s, int32_t bytes);
int SocketSetNoDelay(TSocket s, bool on);
int SocketSetLinger(TSocket s, bool on, uint16_t seconds);
// The pending error of the socket (SO_ERROR), 0 when none; -1 when it cannot be read.
int SocketPendingError(TSocket s);

// Listening side, for the loopback servers of the tests: bind to an address and port
// (network byte order; port 0 picks a free one), listen, accept (kInvalidSocket on
// failure), and the port a socket is bound to (host byte order, -1 on failure).
int SocketBind(TSocket s, uint32_t address, uint16_t port);
int SocketListen(TSocket s, int backlog);
TSocket SocketAccept(TSocket s);
int SocketLocalPort(TSocket s);

// Name services. ResolveHost gives the first IPv4 address of a name in network byte
// order, or false. InetAddr parses a dotted address (kInaddrNone when it cannot).
// ServicePort gives the port of a TCP service name in host byte order, or -1.
bool ResolveHost(const std::string& name, uint32_t& address);
uint32_t InetAddr(const std::string& text);
int ServicePort(const std::string& name);

uint16_t HostToNetShort(uint16_t v);

}  // namespace platform
