#include "net/SSLClient.h"

#include <memory>
#include <mutex>

#include "base/DynamicLibrary.h"
#include "base/Format.h"
#include "platform/Process.h"

namespace net {

namespace {

// The process-wide library and its table. The table has more slots than the interface
// defines so that an engine that fills a few extra cannot write past it.
struct TSSLLibrary {
  std::mutex Lock;
  bool Tried = false;
  std::string Name;
  std::unique_ptr<base::TDynamicLibrary> Library;
  SSLEntry Table[32] = {};
  bool Ok = false;
  std::string ExtraCAFile;  // under Lock

  void Unload() {
    Library.reset();
    for (auto& e : Table) e = nullptr;
    Ok = false;
    Tried = false;
  }

  // Loads once; afterwards the table is only read.
  bool Ensure() {
    std::lock_guard<std::mutex> g(Lock);
    if (Tried) return Ok;
    Tried = true;
    Library = std::make_unique<base::TDynamicLibrary>(Name.empty() ? platform::ProductLibraryName("SSL") : Name);
    auto create = Library->Function<CreateSSLInterfaceFunc>("CreateSSLInterface");
    if (!create || create(Table) == 0) {
      for (auto& e : Table) e = nullptr;
      return Ok = false;
    }
    return Ok = true;
  }
};

TSSLLibrary& SSLLibrary() {
  static TSSLLibrary library;
  return library;
}

template <class F>
F Entry(int index) {
  TSSLLibrary& lib = SSLLibrary();
  return lib.Ok ? reinterpret_cast<F>(lib.Table[index]) : nullptr;
}

}  // namespace

void TSSLClient::SetLibraryName(const std::string& name) {
  TSSLLibrary& lib = SSLLibrary();
  std::lock_guard<std::mutex> g(lib.Lock);
  lib.Unload();
  lib.Name = name;
}

bool TSSLClient::LibraryLoaded() {
  TSSLLibrary& lib = SSLLibrary();
  std::lock_guard<std::mutex> g(lib.Lock);
  return lib.Ok;
}

void TSSLClient::SetExtraCAFile(const std::string& path) {
  TSSLLibrary& lib = SSLLibrary();
  std::lock_guard<std::mutex> g(lib.Lock);
  lib.ExtraCAFile = path;
}

std::string TSSLClient::ExtraCAFile() {
  TSSLLibrary& lib = SSLLibrary();
  std::lock_guard<std::mutex> g(lib.Lock);
  return lib.ExtraCAFile;
}

TSSLClient::TSSLClient(platform::TSocket socket, const std::string& hostName) : FSocket(socket), FHostName(hostName) {
  if (!SSLLibrary().Ensure()) return;
  if (auto init = Entry<SSLInitFunc>(SSL_ENTRY_INIT)) init();
  if (auto method = Entry<SSLMethodFunc>(SSL_ENTRY_CLIENT_METHOD)) FMethod = method();
  if (auto ctxNew = Entry<SSLCtxNewFunc>(SSL_ENTRY_CTX_NEW)) FContext = ctxNew(FMethod);
  std::string caFile = ExtraCAFile();
  if (FContext && !caFile.empty()) {
    auto addCA = Entry<SSLSetTextFunc>(SSL_ENTRY_CTX_ADD_CA_FILE);
    // A named CA that cannot be used is said, not ignored: its server will be refused.
    if (!addCA || addCA(FContext, caFile.c_str()) <= 0)
      platform::DebugOutput(base::Format("SSL CA file not loaded: %s", caFile));
  }
}

TSSLClient::~TSSLClient() {
  Close();
  if (FContext) {
    if (auto ctxFree = Entry<SSLFreeFunc>(SSL_ENTRY_CTX_FREE)) ctxFree(FContext);
    FContext = 0;
  }
}

bool TSSLClient::Connect() {
  auto sslNew = Entry<SSLNewFunc>(SSL_ENTRY_NEW);
  auto setSocket = Entry<SSLSetSocketFunc>(SSL_ENTRY_SET_SOCKET);
  auto handshake = Entry<SSLConnFunc>(SSL_ENTRY_CONNECT);
  if (!FContext || !sslNew || !setSocket || !handshake || FConnection) return false;
  FConnection = sslNew(FContext);
  if (!FConnection) return false;
  setSocket(FConnection, FSocket);
  FCertificateError.clear();
  if (!FHostName.empty()) {
    auto setHost = Entry<SSLSetTextFunc>(SSL_ENTRY_SET_HOST_NAME);
    if (!setHost || setHost(FConnection, FHostName.c_str()) <= 0) {
      FCertificateError = "the TLS engine cannot check a host name";
      platform::DebugOutput(base::Format("SSL Certificate Error: %s", FCertificateError));
      return false;
    }
  }
  FLastResult = handshake(FConnection);
  if (FLastResult > 0) return true;
  if (auto verifyError = Entry<SSLGetTextFunc>(SSL_ENTRY_VERIFY_ERROR)) {
    char text[256] = {};
    if (verifyError(FConnection, text, sizeof text) > 0) {
      FCertificateError = text;
      platform::DebugOutput(base::Format("SSL Certificate Error: %s (%s)", FCertificateError, FHostName));
    }
  }
  return false;
}

void TSSLClient::Close() {
  if (!FConnection) return;
  if (auto shutdown = Entry<SSLConnFunc>(SSL_ENTRY_SHUTDOWN)) shutdown(FConnection);
  if (auto sslFree = Entry<SSLFreeFunc>(SSL_ENTRY_FREE)) sslFree(FConnection);
  FConnection = 0;
}

namespace {

int Call(SSLReadFunc f, SSLHandle conn, void* buffer, int length, int& lastResult) {
  int r = f && conn ? f(conn, buffer, length) : -1;
  if (r < 0) lastResult = r;
  return r;
}

}  // namespace

int TSSLClient::Peek(void* buffer, int length) {
  return Call(Entry<SSLReadFunc>(SSL_ENTRY_PEEK), FConnection, buffer, length, FLastResult);
}

int TSSLClient::Read(void* buffer, int length) {
  return Call(Entry<SSLReadFunc>(SSL_ENTRY_READ), FConnection, buffer, length, FLastResult);
}

int TSSLClient::Pending() {
  auto pending = Entry<SSLConnFunc>(SSL_ENTRY_PENDING);
  int r = pending && FConnection ? pending(FConnection) : 0;
  return r > 0 ? r : 0;
}

int TSSLClient::Write(const void* buffer, int length) {
  auto write = Entry<SSLWriteFunc>(SSL_ENTRY_WRITE);
  int r = write && FConnection ? write(FConnection, buffer, length) : -1;
  if (r < 0) FLastResult = r;
  return r;
}

}  // namespace net
