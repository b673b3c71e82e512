#define SECURITY_WIN32
#include "SchannelEngine.h"

#include <winsock.h>
// winsock.h first: it brings windows.h, which the security headers need.
#include <schannel.h>
#include <security.h>
#include <sspi.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

// A record is at most 16 KiB of data plus framing; more buffered ciphertext than this
// without a complete record means the peer is not speaking TLS.
constexpr size_t kMaxEncrypted = 64 * 1024;
constexpr int kReadChunk = 16 * 1024 + 512;
// SECURITY_FLAG_IGNORE_UNKNOWN_CA of the SSL chain policy (declared in wininet.h).
constexpr DWORD kIgnoreUnknownCA = 0x00000100;

constexpr DWORD kContextFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                                ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM | ISC_REQ_MANUAL_CRED_VALIDATION;

struct Context {
  CredHandle Cred{};
  HCERTSTORE ExtraCAs = nullptr;  // trusted besides the system's root store
};

struct Connection {
  Context* Ctx = nullptr;
  SOCKET Socket = INVALID_SOCKET;
  CtxtHandle Handle{};
  bool HasHandle = false;
  bool Established = false;
  bool Closed = false;  // the peer ended the session or the stream
  SecPkgContext_StreamSizes Sizes{};
  std::string Host;             // sent as SNI (unless an address) and checked in the certificate
  std::string VerifyError;      // why the certificate was refused
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

bool IsAddress(const std::string& host) {
  return !host.empty() && host.find_first_not_of("0123456789.:") == std::string::npos;
}

// The name Schannel sends as SNI; none for an address.
char* TargetName(Connection* c) { return c->Host.empty() || IsAddress(c->Host) ? nullptr : c->Host.data(); }

// Feeds what the server sends to Schannel until the handshake (or a renegotiation) is
// done. Each round either consumes input or waits for more; a server that never
// finishes runs into the buffer cap or a closed socket.
bool ContinueHandshake(Connection* c, bool needMore) {
  int incompleteCredentials = 0;
  for (;;) {
    if (needMore || c->Encrypted.empty()) {
      if (ReceiveMore(c) <= 0) return false;
    }
    SecBuffer in[2] = {{static_cast<unsigned long>(c->Encrypted.size()), SECBUFFER_TOKEN, c->Encrypted.data()},
                       {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc inDesc{SECBUFFER_VERSION, 2, in};
    SecBuffer out{0, SECBUFFER_TOKEN, nullptr};
    SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &out};
    DWORD attrs = 0;
    SECURITY_STATUS status = InitializeSecurityContextA(&c->Ctx->Cred, &c->Handle, TargetName(c), kContextFlags, 0, 0,
                                                        &inDesc, 0, nullptr, &outDesc, &attrs, nullptr);
    if (status == SEC_E_INCOMPLETE_MESSAGE) {
      if (out.pvBuffer) FreeContextBuffer(out.pvBuffer);
      needMore = true;
      continue;
    }
    if (status == SEC_I_INCOMPLETE_CREDENTIALS) {
      // The server asked for a client certificate. Schannel has not consumed the input:
      // the same bytes go again and the handshake goes on without one.
      if (out.pvBuffer) FreeContextBuffer(out.pvBuffer);
      if (++incompleteCredentials > 2) return false;
      needMore = false;
      continue;
    }
    if (!SendToken(c, out)) return false;
    if (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED) KeepExtra(c, in[1]);
    if (status == SEC_E_OK) return true;
    if (status != SEC_I_CONTINUE_NEEDED) return false;
    needMore = c->Encrypted.empty();
  }
}

const char* ChainErrorText(DWORD error) {
  switch (error) {
    case static_cast<DWORD>(CERT_E_UNTRUSTEDROOT): return "certificate chain ends in an untrusted CA";
    case static_cast<DWORD>(CERT_E_CHAINING): return "certificate chain cannot be built to a trusted CA";
    case static_cast<DWORD>(CERT_E_CN_NO_MATCH): return "certificate does not name the host";
    case static_cast<DWORD>(CERT_E_EXPIRED): return "certificate has expired or is not yet valid";
    case static_cast<DWORD>(CERT_E_WRONG_USAGE): return "certificate is not for server authentication";
    case static_cast<DWORD>(CERT_E_REVOKED): return "certificate was revoked";
    case static_cast<DWORD>(TRUST_E_CERT_SIGNATURE): return "certificate signature is invalid";
    default: return nullptr;
  }
}

// The chain and the host name of the server's certificate, by the system's chain engine
// and SSL policy; a chain that ends in one of the context's extra CAs counts as trusted.
bool VerifyServer(Connection* c) {
  PCCERT_CONTEXT cert = nullptr;
  if (QueryContextAttributesA(&c->Handle, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &cert) != SEC_E_OK || !cert) {
    c->VerifyError = "the server sent no certificate";
    return false;
  }
  HCERTSTORE extra = CertOpenStore(CERT_STORE_PROV_COLLECTION, 0, 0, 0, nullptr);
  if (extra) {
    if (cert->hCertStore) CertAddStoreToCollection(extra, cert->hCertStore, 0, 0);
    if (c->Ctx->ExtraCAs) CertAddStoreToCollection(extra, c->Ctx->ExtraCAs, 0, 0);
  }
  LPSTR usage = const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH);
  CERT_CHAIN_PARA para{};
  para.cbSize = sizeof para;
  para.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
  para.RequestedUsage.Usage.cUsageIdentifier = 1;
  para.RequestedUsage.Usage.rgpszUsageIdentifier = &usage;
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  bool ok = CertGetCertificateChain(nullptr, cert, nullptr, extra, &para, 0, nullptr, &chain) && chain;
  DWORD error = ok ? 0 : static_cast<DWORD>(CERT_E_CHAINING);
  bool extraRoot = false;
  if (ok) {
    // The chain's own verdict first: not every SSL policy reports a chain that stops short
    // of any root. Revocation is not asked for, so its unknown state does not count.
    DWORD trust = chain->TrustStatus.dwErrorStatus &
                  ~static_cast<DWORD>(CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION);
    if ((trust & CERT_TRUST_IS_UNTRUSTED_ROOT) && c->Ctx->ExtraCAs && chain->cChain > 0) {
      // Trusted after all when the chain's root is one of the extra CAs.
      const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[chain->cChain - 1];
      PCCERT_CONTEXT root = simple->cElement > 0 ? simple->rgpElement[simple->cElement - 1]->pCertContext : nullptr;
      PCCERT_CONTEXT known =
          root ? CertFindCertificateInStore(c->Ctx->ExtraCAs, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, root, nullptr)
               : nullptr;
      if (known) {
        CertFreeCertificateContext(known);
        extraRoot = true;
        trust &= ~static_cast<DWORD>(CERT_TRUST_IS_UNTRUSTED_ROOT);
      }
    }
    if (trust & CERT_TRUST_IS_PARTIAL_CHAIN)
      error = static_cast<DWORD>(CERT_E_CHAINING);
    else if (trust & CERT_TRUST_IS_UNTRUSTED_ROOT)
      error = static_cast<DWORD>(CERT_E_UNTRUSTEDROOT);
    else if (trust & CERT_TRUST_IS_NOT_TIME_VALID)
      error = static_cast<DWORD>(CERT_E_EXPIRED);
    else if (trust & CERT_TRUST_IS_REVOKED)
      error = static_cast<DWORD>(CERT_E_REVOKED);
    else if (trust & CERT_TRUST_IS_NOT_SIGNATURE_VALID)
      error = static_cast<DWORD>(TRUST_E_CERT_SIGNATURE);
    else if (trust & CERT_TRUST_IS_NOT_VALID_FOR_USAGE)
      error = static_cast<DWORD>(CERT_E_WRONG_USAGE);
    else if (trust != 0)
      error = static_cast<DWORD>(CERT_E_CHAINING);
    ok = error == 0;
  }
  if (ok) {
    // The SSL policy: the host name, and everything else it checks.
    std::wstring name(c->Host.begin(), c->Host.end());  // host names are ASCII
    HTTPSPolicyCallbackData https{};
    https.cbStruct = sizeof https;
    https.dwAuthType = AUTHTYPE_SERVER;
    https.fdwChecks = extraRoot ? kIgnoreUnknownCA : 0;
    https.pwszServerName = name.empty() ? nullptr : name.data();
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof policy;
    policy.pvExtraPolicyPara = &https;
    CERT_CHAIN_POLICY_STATUS status{};
    status.cbSize = sizeof status;
    ok = CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status) && status.dwError == 0;
    error = ok ? 0 : status.dwError;
  }
  if (!ok) {
    const char* text = ChainErrorText(error);
    char buffer[64];
    if (!text) {
      std::snprintf(buffer, sizeof buffer, "certificate check failed (0x%08lX)", static_cast<unsigned long>(error));
      text = buffer;
    }
    c->VerifyError = text;
  }
  if (chain) CertFreeCertificateChain(chain);
  if (extra) CertCloseStore(extra, 0);
  CertFreeCertificateContext(cert);
  return ok;
}

int Handshake(Connection* c) {
  SecBuffer out{0, SECBUFFER_TOKEN, nullptr};
  SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &out};
  DWORD attrs = 0;
  SECURITY_STATUS status = InitializeSecurityContextA(&c->Ctx->Cred, nullptr, TargetName(c), kContextFlags, 0, 0,
                                                      nullptr, 0, &c->Handle, &outDesc, &attrs, nullptr);
  if (status != SEC_I_CONTINUE_NEEDED) return -1;
  c->HasHandle = true;
  if (!SendToken(c, out)) return -1;
  if (!ContinueHandshake(c, true)) return -1;
  if (!VerifyServer(c)) return -1;
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
  // The server renegotiates (or, under TLS 1.3, sends a post-handshake message): the
  // bytes after the record are handshake data for Schannel; application data that comes
  // with the end of it stays buffered.
  if (status == SEC_I_RENEGOTIATE && !ContinueHandshake(c, c->Encrypted.empty())) return Decrypted::Error;
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
  // Schannel leaves the certificate to VerifyServer, which can also trust the extra CAs.
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
  if (ctx->ExtraCAs) CertCloseStore(ctx->ExtraCAs, 0);
  delete ctx;
}

// Adds every certificate of a PEM file to the context's extra CA store.
int ORBELLE_CDECL CtxAddCAFile(SSLHandle h, const char* file) {
  auto* ctx = reinterpret_cast<Context*>(h);
  if (!ctx || !file || !*file) return 0;
  FILE* f = std::fopen(file, "rb");
  if (!f) return 0;
  std::string pem;
  char piece[4096];
  for (size_t n; (n = std::fread(piece, 1, sizeof piece, f)) > 0 && pem.size() < (1u << 22);) pem.append(piece, n);
  std::fclose(f);
  if (!ctx->ExtraCAs) ctx->ExtraCAs = CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr);
  if (!ctx->ExtraCAs) return 0;
  static const char kBegin[] = "-----BEGIN CERTIFICATE-----", kEnd[] = "-----END CERTIFICATE-----";
  int added = 0;
  for (size_t at = pem.find(kBegin); at != std::string::npos; at = pem.find(kBegin, at + 1)) {
    size_t end = pem.find(kEnd, at);
    if (end == std::string::npos) break;
    end += sizeof kEnd - 1;
    DWORD size = 0;
    const DWORD length = static_cast<DWORD>(end - at);
    if (!CryptStringToBinaryA(pem.data() + at, length, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr))
      continue;
    std::vector<BYTE> der(size);
    if (CryptStringToBinaryA(pem.data() + at, length, CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr, nullptr) &&
        CertAddEncodedCertificateToStore(ctx->ExtraCAs, X509_ASN_ENCODING, der.data(), size,
                                         CERT_STORE_ADD_REPLACE_EXISTING, nullptr))
      ++added;
  }
  return added > 0 ? 1 : 0;
}

int ORBELLE_CDECL SetHostName(SSLHandle conn, const char* host) {
  Connection* c = Conn(conn);
  if (!c || !host || !*host || c->HasHandle) return 0;
  c->Host = host;
  return 1;
}

int ORBELLE_CDECL VerifyError(SSLHandle conn, char* buf, int len) {
  Connection* c = Conn(conn);
  if (!c || !buf || len <= 0 || c->VerifyError.empty()) return 0;
  size_t n = std::min(c->VerifyError.size(), static_cast<size_t>(len - 1));
  std::memcpy(buf, c->VerifyError.data(), n);
  buf[n] = '\0';
  return static_cast<int>(n);
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
  SECURITY_STATUS status = InitializeSecurityContextA(&c->Ctx->Cred, &c->Handle, TargetName(c), kContextFlags, 0, 0,
                                                      nullptr, 0, nullptr, &outDesc, &attrs, nullptr);
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
  table[SSL_ENTRY_SET_HOST_NAME] = E(&SetHostName);
  table[SSL_ENTRY_CTX_ADD_CA_FILE] = E(&CtxAddCAFile);
  table[SSL_ENTRY_VERIFY_ERROR] = E(&VerifyError);
  return 1;
}
