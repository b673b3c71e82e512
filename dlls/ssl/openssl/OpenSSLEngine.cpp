#include "OpenSSLEngine.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

namespace {

// How long one socket read or write of the engine may wait: the socket's receive
// time-out when the caller set one, else kStallMs.
int StallBound(int fd) {
  timeval tv{};
  socklen_t len = sizeof tv;
  if (getsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, &len) == 0 && (tv.tv_sec > 0 || tv.tv_usec > 0)) {
    return static_cast<int>(tv.tv_sec * 1000 + tv.tv_usec / 1000);
  }
  return kStallMs;
}

bool WaitFor(int fd, short events) {
  pollfd p{fd, events, 0};
  int rc;
  do {
    rc = poll(&p, 1, StallBound(fd));
  } while (rc < 0 && errno == EINTR);
  if (rc == 0) errno = ETIMEDOUT;
  return rc > 0;
}

int Fd(BIO* b) { return static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(b))); }

// The socket I/O under TLS: bounded waits, and no SIGPIPE from a closed peer.
int BioRead(BIO* b, char* buf, int len) {
  BIO_clear_retry_flags(b);
  if (len <= 0) return 0;
  if (!WaitFor(Fd(b), POLLIN)) return -1;
  ssize_t n;
  do {
    n = recv(Fd(b), buf, static_cast<size_t>(len), 0);
  } while (n < 0 && errno == EINTR);
  return static_cast<int>(n);
}

int BioWrite(BIO* b, const char* buf, int len) {
  BIO_clear_retry_flags(b);
  if (len <= 0) return 0;
  if (!WaitFor(Fd(b), POLLOUT)) return -1;
  ssize_t n;
  do {
    n = send(Fd(b), buf, static_cast<size_t>(len), MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  return static_cast<int>(n);
}

long BioCtrl(BIO*, int cmd, long, void*) { return cmd == BIO_CTRL_FLUSH ? 1 : 0; }

// Made once per load of the library and freed when it is unloaded.
struct TSocketMethod {
  BIO_METHOD* Method = nullptr;
  TSocketMethod() {
    Method = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "orbelle socket");
    if (!Method) return;
    BIO_meth_set_read(Method, BioRead);
    BIO_meth_set_write(Method, BioWrite);
    BIO_meth_set_ctrl(Method, BioCtrl);
  }
  ~TSocketMethod() { BIO_meth_free(Method); }
};

BIO_METHOD* SocketMethod() {
  static TSocketMethod method;
  return method.Method;
}

SSL* Conn(SSLHandle h) { return reinterpret_cast<SSL*>(h); }

// Maps a failed read-style call: an orderly or abrupt close is 0, anything else -1.
int ReadResult(SSL* ssl, int r) {
  if (r > 0) return r;
  int e = SSL_get_error(ssl, r);
  ERR_clear_error();
  return e == SSL_ERROR_ZERO_RETURN ? 0 : -1;
}

int Init() { return OPENSSL_init_ssl(0, nullptr) == 1 && SocketMethod() ? 1 : 0; }

SSLHandle Method() { return reinterpret_cast<SSLHandle>(TLS_client_method()); }

SSLHandle CtxNew(SSLHandle method) {
  if (!method) return 0;
  SSL_CTX* ctx = SSL_CTX_new(reinterpret_cast<const SSL_METHOD*>(method));
  if (!ctx) return 0;
  // The chain is checked against the system's CAs on every handshake; a name given with
  // SetHostName is checked too.
  SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
  SSL_CTX_set_default_verify_paths(ctx);
  SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
  SSL_CTX_set_options(ctx, SSL_OP_IGNORE_UNEXPECTED_EOF);
  SSL_CTX_set_mode(ctx, SSL_MODE_AUTO_RETRY);
  return reinterpret_cast<SSLHandle>(ctx);
}

void CtxFree(SSLHandle ctx) { SSL_CTX_free(reinterpret_cast<SSL_CTX*>(ctx)); }

SSLHandle New(SSLHandle ctx) { return ctx ? reinterpret_cast<SSLHandle>(SSL_new(reinterpret_cast<SSL_CTX*>(ctx))) : 0; }

void Free(SSLHandle conn) { SSL_free(Conn(conn)); }

int SetSocket(SSLHandle conn, intptr_t socket) {
  if (!conn || socket < 0 || socket > INT_MAX || !SocketMethod()) return 0;
  BIO* bio = BIO_new(SocketMethod());
  if (!bio) return 0;
  BIO_set_data(bio, reinterpret_cast<void*>(socket));
  BIO_set_init(bio, 1);
  SSL_set_bio(Conn(conn), bio, bio);  // the connection owns the BIO from here
  return 1;
}

int Connect(SSLHandle conn) {
  if (!conn) return -1;
  int r = SSL_connect(Conn(conn));
  if (r <= 0) ERR_clear_error();
  return r;
}

int Write(SSLHandle conn, const void* buf, int len) {
  if (!conn || !buf || len < 0) return -1;
  if (len == 0) return 0;
  int r = SSL_write(Conn(conn), buf, len);
  if (r <= 0) {
    ERR_clear_error();
    return -1;
  }
  return r;
}

int Read(SSLHandle conn, void* buf, int len) {
  if (!conn || !buf || len < 0) return -1;
  if (len == 0) return 0;
  return ReadResult(Conn(conn), SSL_read(Conn(conn), buf, len));
}

int Peek(SSLHandle conn, void* buf, int len) {
  if (!conn || !buf || len < 0) return -1;
  if (len == 0) return 0;
  return ReadResult(Conn(conn), SSL_peek(Conn(conn), buf, len));
}

int CtxAddCAFile(SSLHandle ctx, const char* file) {
  if (!ctx || !file || !*file) return 0;
  int r = SSL_CTX_load_verify_locations(reinterpret_cast<SSL_CTX*>(ctx), file, nullptr);
  ERR_clear_error();
  return r == 1 ? 1 : 0;
}

int SetHostName(SSLHandle conn, const char* host) {
  if (!conn || !host || !*host) return 0;
  SSL* ssl = Conn(conn);
  int r;
  // An address is checked against the certificate's IP entries and never sent as SNI.
  if (X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), host) == 1) {
    r = 1;
  } else {
    r = SSL_set_tlsext_host_name(ssl, host) == 1 && SSL_set1_host(ssl, host) == 1 ? 1 : 0;
  }
  ERR_clear_error();
  return r;
}

int VerifyError(SSLHandle conn, char* buf, int len) {
  if (!conn || !buf || len <= 0) return 0;
  long result = SSL_get_verify_result(Conn(conn));
  if (result == X509_V_OK) return 0;
  const char* text = X509_verify_cert_error_string(result);
  int n = static_cast<int>(std::min<size_t>(std::strlen(text), static_cast<size_t>(len - 1)));
  std::memcpy(buf, text, static_cast<size_t>(n));
  buf[n] = '\0';
  return n;
}

int Pending(SSLHandle conn) { return conn ? SSL_pending(Conn(conn)) : 0; }

int Shutdown(SSLHandle conn) {
  if (!conn) return -1;
  int r = SSL_shutdown(Conn(conn));
  ERR_clear_error();
  return r;
}

template <class F>
SSLEntry E(F f) {
  return reinterpret_cast<SSLEntry>(f);
}

}  // namespace

extern "C" int CreateSSLInterface(SSLEntry* table) {
  if (!table) return 0;
  for (int i = 0; i < SSL_INTERFACE_ENTRIES; ++i) table[i] = nullptr;
  table[SSL_ENTRY_INIT] = E(&Init);
  table[SSL_ENTRY_CLIENT_METHOD] = E(&Method);
  table[SSL_ENTRY_CTX_NEW] = E(&CtxNew);
  table[SSL_ENTRY_CTX_FREE] = E(&CtxFree);
  table[SSL_ENTRY_NEW] = E(&New);
  table[SSL_ENTRY_FREE] = E(&Free);
  table[SSL_ENTRY_SET_SOCKET] = E(&SetSocket);
  table[SSL_ENTRY_CONNECT] = E(&Connect);
  table[SSL_ENTRY_WRITE] = E(&Write);
  table[SSL_ENTRY_READ] = E(&Read);
  table[SSL_ENTRY_SHUTDOWN] = E(&Shutdown);
  table[SSL_ENTRY_PENDING] = E(&Pending);
  table[SSL_ENTRY_PEEK] = E(&Peek);
  table[SSL_ENTRY_SET_HOST_NAME] = E(&SetHostName);
  table[SSL_ENTRY_CTX_ADD_CA_FILE] = E(&CtxAddCAFile);
  table[SSL_ENTRY_VERIFY_ERROR] = E(&VerifyError);
  return 1;
}
