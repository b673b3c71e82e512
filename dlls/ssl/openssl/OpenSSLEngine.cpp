#include "OpenSSLEngine.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <signal.h>

#include <climits>

namespace {

SSL* Conn(SSLHandle h) { return reinterpret_cast<SSL*>(h); }

// Maps a failed read-style call: an orderly or abrupt close is 0, anything else -1.
int ReadResult(SSL* ssl, int r) {
  if (r > 0) return r;
  int e = SSL_get_error(ssl, r);
  ERR_clear_error();
  return e == SSL_ERROR_ZERO_RETURN ? 0 : -1;
}

int Init() {
  struct sigaction old {};
  if (sigaction(SIGPIPE, nullptr, &old) == 0 && old.sa_handler == SIG_DFL) signal(SIGPIPE, SIG_IGN);
  return OPENSSL_init_ssl(0, nullptr);
}

SSLHandle Method() { return reinterpret_cast<SSLHandle>(TLS_client_method()); }

SSLHandle CtxNew(SSLHandle method) {
  if (!method) return 0;
  SSL_CTX* ctx = SSL_CTX_new(reinterpret_cast<const SSL_METHOD*>(method));
  if (!ctx) return 0;
  SSL_CTX_set_verify(ctx, SSL_VERIFY_NONE, nullptr);
  SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
  SSL_CTX_set_options(ctx, SSL_OP_IGNORE_UNEXPECTED_EOF);
  SSL_CTX_set_mode(ctx, SSL_MODE_AUTO_RETRY);
  return reinterpret_cast<SSLHandle>(ctx);
}

void CtxFree(SSLHandle ctx) { SSL_CTX_free(reinterpret_cast<SSL_CTX*>(ctx)); }

SSLHandle New(SSLHandle ctx) { return ctx ? reinterpret_cast<SSLHandle>(SSL_new(reinterpret_cast<SSL_CTX*>(ctx))) : 0; }

void Free(SSLHandle conn) { SSL_free(Conn(conn)); }

int SetSocket(SSLHandle conn, intptr_t socket) {
  if (!conn || socket < 0 || socket > INT_MAX) return 0;
  return SSL_set_fd(Conn(conn), static_cast<int>(socket));
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
  return 1;
}
