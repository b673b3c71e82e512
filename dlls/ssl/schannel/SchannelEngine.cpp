#define SECURITY_WIN32
#include "SchannelEngine.h"

#include <winsock.h>
// winsock.h first: it brings windows.h, which the security headers need.
#include <schannel.h>
#include <security.h>
#include <sspi.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace {

// A record is at most 16 KiB of data plus framing; more buffered ciphertext than this
// without a complete record means the peer is not speaking TLS.
constexpr size_t kMaxEncrypted = 64 * 1024;
constexpr int kReadChunk = 16 * 1024 + 512;

constexpr DWORD kContextFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                                ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM | ISC_REQ_MANUAL_CRED_VALIDATION;

struct Context {
  CredHandle Cred{};
};

struct Connection {
  Context* Ctx = nullptr;
  SOCKET Socket = INVALID_SOCKET;
  CtxtHandle Handle{};
  bool HasHandle = false;
  bool Established = false;
  bool Closed = false;  // the peer ended the session or the stream
  SecPkgContext_StreamSizes Sizes{};
  std::vector<char> Encrypted;  // received, not yet decrypted
  std::vector<char> Plain;      // decrypted, not yet read
};

Connection* Conn(SSLHandle h) { return reinterpret_cast<Connection*>(h); }

bool SendAll(SOCKET s, const char* data, size_t length) {
  while (length > 0) {
    int n = send(s, data, static_cast<int>(std::min<size_t>(length, 1 << 20)), 0);
    if (n <= 0) return false;
    data += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

// Waits until the socket is readable, at most the socket's receive time-out or kStallMs.
bool WaitReadable(SOCKET s) {
  DWORD ms = 0;
  int len = sizeof ms;
  if (getsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<char*>(&ms), &len) != 0 || ms == 0) ms = kStallMs;
  fd_set read;
  FD_ZERO(&read);
  FD_SET(s, &read);
  timeval tv{static_cast<long>(ms / 1000), static_cast<long>((ms % 1000) * 1000)};
  return select(0, &read, nullptr, nullptr, &tv) == 1;
}

// Appends what the socket has (waiting for at least one byte): > 0 bytes, 0 closed, < 0 error.
int ReceiveMore(Connection* c) {
  if (c->Encrypted.size() >= kMaxEncrypted || !WaitReadable(c->Socket)) return -1;
  size_t old = c->Encrypted.size();
  c->Encrypted.resize(old + kReadChunk);
  int n = recv(c->Socket, c->Encrypted.data() + old, kReadChunk, 0);
  c->Encrypted.resize(old + static_cast<size_t>(n > 0 ? n : 0));
  return n;
}

void KeepExtra(Connection* c, const SecBuffer& extra) {
  if (extra.BufferType == SECBUFFER_EXTRA && extra.cbBuffer > 0 && extra.cbBuffer <= c->Encrypted.size()) {
    c->Encrypted.erase(c->Encrypted.begin(), c->Encrypted.end() - extra.cbBuffer);
  } else {
    c->Encrypted.clear();
  }
}

int SendToken(Connection* c, SecBuffer& token) {
  bool ok = true;
  if (token.pvBuffer && token.cbBuffer > 0)
    ok = SendAll(c->Socket, static_cast<const char*>(token.pvBuffer), token.cbBuffer);
  if (token.pvBuffer) FreeContextBuffer(token.pvBuffer);
  token.pvBuffer = nullptr;
  return ok;
}

// The handshake loop: feeds what the server sent to Schannel until the session stands.
int Handshake(Connection* c) {
  SecBuffer out{0, SECBUFFER_TOKEN, nullptr};
  SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &out};
  DWORD attrs = 0;
  SECURITY_STATUS status = InitializeSecurityContextA(&c->Ctx->Cred, nullptr, nullptr, kContextFlags, 0, 0, nullptr, 0,
                                                      &c->Handle, &outDesc, &attrs, nullptr);
  if (status != SEC_I_CONTINUE_NEEDED) return -1;
  c->HasHandle = true;
  if (!SendToken(c, out)) return -1;

  bool needMore = true;
  // Each round either consumes input or waits for more; a server that never finishes
  // runs into the buffer cap or a closed socket.
  for (;;) {
    if (needMore || c->Encrypted.empty()) {
      if (ReceiveMore(c) <= 0) return -1;
    }
    SecBuffer in[2] = {{static_cast<unsigned long>(c->Encrypted.size()), SECBUFFER_TOKEN, c->Encrypted.data()},
                       {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc inDesc{SECBUFFER_VERSION, 2, in};
    out = {0, SECBUFFER_TOKEN, nullptr};
    status = InitializeSecurityContextA(&c->Ctx->Cred, &c->Handle, nullptr, kContextFlags, 0, 0, &inDesc, 0, nullptr,
                                        &outDesc, &attrs, nullptr);
    if (status == SEC_E_INCOMPLETE_MESSAGE) {
      needMore = true;
      continue;
    }
    if (!SendToken(c, out)) return -1;
    if (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED || status == SEC_I_INCOMPLETE_CREDENTIALS) {
      KeepExtra(c, in[1]);
    }
    if (status == SEC_E_OK) break;
    if (status != SEC_I_CONTINUE_NEEDED && status != SEC_I_INCOMPLETE_CREDENTIALS) return -1;
    needMore = c->Encrypted.empty();
  }
  if (QueryContextAttributesA(&c->Handle, SECPKG_ATTR_STREAM_SIZES, &c->Sizes) != SEC_E_OK) return -1;
  c->Established = true;
  return 1;
}

enum class Decrypted { Data, NeedMore, Error };

// Decrypts what is buffered without touching the socket.
Decrypted DecryptBuffered(Connection* c) {
  if (c->Encrypted.empty()) return Decrypted::NeedMore;
  SecBuffer b[4] = {{static_cast<unsigned long>(c->Encrypted.size()), SECBUFFER_DATA, c->Encrypted.data()},
                    {0, SECBUFFER_EMPTY, nullptr},
                    {0, SECBUFFER_EMPTY, nullptr},
                    {0, SECBUFFER_EMPTY, nullptr}};
  SecBufferDesc desc{SECBUFFER_VERSION, 4, b};
  SECURITY_STATUS status = DecryptMessage(&c->Handle, &desc, 0, nullptr);
  if (status == SEC_E_INCOMPLETE_MESSAGE) return Decrypted::NeedMore;
  if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE && status != SEC_I_CONTEXT_EXPIRED) return Decrypted::Error;
  SecBuffer extra{0, SECBUFFER_EMPTY, nullptr};
  for (auto& x : b) {
    if (x.BufferType == SECBUFFER_DATA && x.cbBuffer > 0) {
      const char* p = static_cast<const char*>(x.pvBuffer);
      c->Plain.insert(c->Plain.end(), p, p + x.cbBuffer);
    } else if (x.BufferType == SECBUFFER_EXTRA) {
      extra = x;
    }
  }
  KeepExtra(c, extra);
  if (status == SEC_I_CONTEXT_EXPIRED) c->Closed = true;
  return Decrypted::Data;
}

// Makes decrypted bytes available: > 0 when Plain holds some, 0 closed, < 0 error.
int Fill(Connection* c) {
  while (c->Plain.empty()) {
    if (c->Closed) return 0;
    Decrypted d = DecryptBuffered(c);
    if (d == Decrypted::Error) return -1;
    if (d == Decrypted::NeedMore) {
      int n = ReceiveMore(c);
      if (n == 0)
        c->Closed = true;  // the stream ended; a cut record is lost with it
      else if (n < 0)
        return -1;
    }
  }
  return static_cast<int>(c->Plain.size());
}

int ReadOrPeek(SSLHandle conn, void* buf, int len, bool consume) {
  Connection* c = Conn(conn);
  if (!c || !c->Established || !buf || len < 0) return -1;
  if (len == 0) return 0;
  int r = Fill(c);
  if (r <= 0) return r;
  size_t n = std::min(static_cast<size_t>(len), c->Plain.size());
  std::memcpy(buf, c->Plain.data(), n);
  if (consume) c->Plain.erase(c->Plain.begin(), c->Plain.begin() + static_cast<std::ptrdiff_t>(n));
  return static_cast<int>(n);
}

int ORBELLE_CDECL Init() { return 1; }

// One client method: the handle only has to be non-zero.
SSLHandle ORBELLE_CDECL Method() { return 1; }

SSLHandle ORBELLE_CDECL CtxNew(SSLHandle method) {
  if (!method) return 0;
  auto* ctx = new (std::nothrow) Context;
  if (!ctx) return 0;
  SCHANNEL_CRED cred{};
  cred.dwVersion = SCHANNEL_CRED_VERSION;
  cred.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_CRED_NO_SERVERNAME_CHECK;
  TimeStamp expiry;
  if (AcquireCredentialsHandleA(nullptr, const_cast<char*>(UNISP_NAME_A), SECPKG_CRED_OUTBOUND, nullptr, &cred, nullptr,
                                nullptr, &ctx->Cred, &expiry) != SEC_E_OK) {
    delete ctx;
    return 0;
  }
  return reinterpret_cast<SSLHandle>(ctx);
}

void ORBELLE_CDECL CtxFree(SSLHandle h) {
  auto* ctx = reinterpret_cast<Context*>(h);
  if (!ctx) return;
  FreeCredentialsHandle(&ctx->Cred);
  delete ctx;
}

SSLHandle ORBELLE_CDECL New(SSLHandle ctx) {
  if (!ctx) return 0;
  auto* c = new (std::nothrow) Connection;
  if (!c) return 0;
  c->Ctx = reinterpret_cast<Context*>(ctx);
  return reinterpret_cast<SSLHandle>(c);
}

void ORBELLE_CDECL Free(SSLHandle conn) {
  Connection* c = Conn(conn);
  if (!c) return;
  if (c->HasHandle) DeleteSecurityContext(&c->Handle);
  delete c;
}

int ORBELLE_CDECL SetSocket(SSLHandle conn, intptr_t socket) {
  Connection* c = Conn(conn);
  if (!c) return 0;
  c->Socket = static_cast<SOCKET>(socket);
  return 1;
}

int ORBELLE_CDECL Connect(SSLHandle conn) {
  Connection* c = Conn(conn);
  if (!c || c->HasHandle || c->Socket == INVALID_SOCKET) return -1;
  return Handshake(c);
}

int ORBELLE_CDECL Write(SSLHandle conn, const void* buf, int len) {
  Connection* c = Conn(conn);
  if (!c || !c->Established || !buf || len < 0) return -1;
  const char* data = static_cast<const char*>(buf);
  std::vector<char> record(c->Sizes.cbHeader + c->Sizes.cbMaximumMessage + c->Sizes.cbTrailer);
  int done = 0;
  while (done < len) {
    unsigned long piece = std::min<unsigned long>(static_cast<unsigned long>(len - done), c->Sizes.cbMaximumMessage);
    std::memcpy(record.data() + c->Sizes.cbHeader, data + done, piece);
    SecBuffer b[4] = {{c->Sizes.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
                      {piece, SECBUFFER_DATA, record.data() + c->Sizes.cbHeader},
                      {c->Sizes.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + c->Sizes.cbHeader + piece},
                      {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc desc{SECBUFFER_VERSION, 4, b};
    if (EncryptMessage(&c->Handle, 0, &desc, 0) != SEC_E_OK) return -1;
    if (!SendAll(c->Socket, record.data(), b[0].cbBuffer + b[1].cbBuffer + b[2].cbBuffer)) return -1;
    done += static_cast<int>(piece);
  }
  return done;
}

int ORBELLE_CDECL Read(SSLHandle conn, void* buf, int len) { return ReadOrPeek(conn, buf, len, true); }
int ORBELLE_CDECL Peek(SSLHandle conn, void* buf, int len) { return ReadOrPeek(conn, buf, len, false); }

int ORBELLE_CDECL Pending(SSLHandle conn) {
  Connection* c = Conn(conn);
  if (!c || !c->Established) return 0;
  // Whole records received along with earlier ones are no longer visible on the socket.
  while (c->Plain.empty() && !c->Closed && DecryptBuffered(c) == Decrypted::Data) {
  }
  return static_cast<int>(c->Plain.size());
}

// Sends the close notification; a peer that is gone already makes no difference.
int ORBELLE_CDECL Shutdown(SSLHandle conn) {
  Connection* c = Conn(conn);
  if (!c || !c->Established) return -1;
  DWORD type = SCHANNEL_SHUTDOWN;
  SecBuffer in{sizeof type, SECBUFFER_TOKEN, &type};
  SecBufferDesc inDesc{SECBUFFER_VERSION, 1, &in};
  if (ApplyControlToken(&c->Handle, &inDesc) != SEC_E_OK) return 0;
  SecBuffer out{0, SECBUFFER_TOKEN, nullptr};
  SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &out};
  DWORD attrs = 0;
  SECURITY_STATUS status = InitializeSecurityContextA(&c->Ctx->Cred, &c->Handle, nullptr, kContextFlags, 0, 0, nullptr,
                                                      0, nullptr, &outDesc, &attrs, nullptr);
  if (status != SEC_E_OK && status != SEC_I_CONTEXT_EXPIRED) {
    if (out.pvBuffer) FreeContextBuffer(out.pvBuffer);
    return 0;
  }
  return SendToken(c, out) ? 1 : 0;
}

template <class F>
SSLEntry E(F f) {
  return reinterpret_cast<SSLEntry>(f);
}

}  // namespace

extern "C" int SSL_INTERFACE_API CreateSSLInterface(SSLEntry* table) {
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
