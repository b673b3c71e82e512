// TLS over an already connected socket through the TLS engine library, which is loaded
// once per process on the first TSSLClient creation (from whichever thread needs it
// first; that step is serialised) and freed at program end. When the library or its
// entry point is missing, a TSSLClient still constructs, but Connect fails and the
// data calls return -1: no call goes through an empty table slot.
// Each TSSLClient belongs to one thread; the table it calls through is read-only after
// the first load.
#pragma once

#include <cstdint>
#include <string>

#include "net/SSLInterface.h"
#include "platform/Sockets.h"

namespace net {

class TSSLClient {
 public:
  // Loads the library when needed, initialises it and makes a client context that trusts
  // the system's CAs and the extra CA file. hostName is the server's name (or address)
  // from the URL: sent as SNI and checked against the certificate.
  explicit TSSLClient(platform::TSocket socket, const std::string& hostName = {});
  // Close, then releases the context.
  ~TSSLClient();
  TSSLClient(const TSSLClient&) = delete;
  TSSLClient& operator=(const TSSLClient&) = delete;

  // The library is loaded and gave a client context: Connect can be tried.
  bool Ready() const { return FContext != 0; }
  // Makes the connection on the socket and runs the client handshake; true when it
  // completed and the certificate passed its checks. A refused certificate writes
  // "SSL Certificate Error: <cause>" to the debug output; CertificateError keeps the cause.
  bool Connect();
  const std::string& CertificateError() const { return FCertificateError; }
  // Sends the close notification and releases the connection (the socket stays open).
  void Close();

  // Bytes moved, 0 when the peer closed, < 0 on error (also kept in LastResult).
  // Peek leaves the bytes to the next Read.
  int Peek(void* buffer, int length);
  int Read(void* buffer, int length);
  int Write(const void* buffer, int length);
  // Decrypted bytes the engine holds already (a read returns them without touching the
  // socket); 0 when none or when the engine cannot tell.
  int Pending();
  int LastResult() const { return FLastResult; }

  // The library the process loads: platform::ProductLibraryName("SSL") unless set.
  // Setting it frees a loaded library so that the next TSSLClient loads the new one;
  // only for set-up and tests, never while a TSSLClient exists.
  static void SetLibraryName(const std::string& name);
  // Whether the library and its table are loaded (after the first creation).
  static bool LibraryLoaded();
  // A PEM file of CA certificates trusted besides the system's (a vendor's staging server
  // with its own CA); empty for none. Used by connections made afterwards; any thread.
  static void SetExtraCAFile(const std::string& path);
  static std::string ExtraCAFile();

 private:
  platform::TSocket FSocket;
  std::string FHostName;
  std::string FCertificateError;
  SSLHandle FConnection = 0;
  SSLHandle FContext = 0;
  SSLHandle FMethod = 0;
  int FLastResult = 0;
};

}  // namespace net
