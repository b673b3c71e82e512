// The blocking IPv4 TCP client socket as a small component chain with events:
// TBaseSocket (handle, open/close, counters), TIpSocket (remote host and port and their
// look-ups), TCustomIpClient (connect, disconnect), TTcpClient (the published client).
// Failing socket calls never raise here: the caller gets the call's failure value (-1)
// and OnError fires with the Winsock error code. Only the process-wide start-up and
// clean-up raise (ESocketError "WSAStartup" / "WSACleanup").
// A socket object belongs to one thread.
#pragma once

#include <cstdint>
#include <string>

#include "base/Exceptions.h"
#include "base/Object.h"
#include "platform/Sockets.h"

namespace net {

using base::Exception;
BASE_DECLARE_EXCEPTION(ESocketError, Exception);

// WSAStartup for version 1.1, ESocketError "WSAStartup" on failure. The sockets unit
// calls it once when the program starts and WinsockCleanup when it ends; calls are
// counted, so a caller may add a balanced pair of its own.
void WinsockStartup();
// WSACleanup, ESocketError "WSACleanup" on failure.
void WinsockCleanup();

enum TSocketBlockMode : uint8_t { bmBlocking = 0, bmNonBlocking = 1 };

using TSocketNotifyEvent = base::TClosure<base::TObject*>;
using TSocketErrorEvent = base::TClosure<base::TObject*, int>;
// Buf points at the bytes received or about to be sent; a send handler may lower
// DataLen to send fewer bytes (never more than it was given).
using TSocketDataEvent = base::TClosure<base::TObject*, uint8_t*, int&>;

class TBaseSocket : public base::TObject {
 public:
  ~TBaseSocket() override;

  bool Active() const { return FActive; }
  void SetActive(bool value);
  TSocketBlockMode BlockMode() const { return FBlockMode; }
  void SetBlockMode(TSocketBlockMode value);
  platform::TSocket Handle() const { return FSocket; }
  // Bytes moved since the last open (32-bit, wrapping).
  uint32_t BytesReceived() const { return FBytesReceived; }
  uint32_t BytesSent() const { return FBytesSent; }

  // Returns rc unchanged; for -1 it first runs the error hook (OnError with the
  // calling thread's Winsock error).
  virtual int ErrorCheck(int rc);
  virtual void Open();
  virtual void Close();

  // recv; fires OnReceive and counts the bytes on success.
  int ReceiveBuf(void* buffer, int count, int flags = 0);
  // Fires OnSend first, then send; counts the bytes sent.
  int SendBuf(const void* buffer, int count, int flags = 0);
  // recv with MSG_PEEK: the bytes stay queued; no event.
  int PeekBuf(void* buffer, int count);
  // Waits on this socket for the requested conditions; ms < 0 waits without limit.
  // True when any requested condition holds; each flag reports its own. A failure gives
  // false (and OnError).
  bool Select(bool* readReady, bool* writeReady, bool* exceptFlag, int32_t ms);

  TSocketNotifyEvent OnCreateHandle;
  TSocketNotifyEvent OnDestroyHandle;
  TSocketErrorEvent OnError;
  TSocketDataEvent OnReceive;
  TSocketDataEvent OnSend;

 protected:
  // Hooks run after the handle was made, before it is closed, and on a failed call.
  virtual void DoCreateHandle();
  virtual void DoDestroyHandle();
  virtual void DoHandleError();

  platform::TSocket FSocket = platform::kInvalidSocket;
  bool FActive = false;
  TSocketBlockMode FBlockMode = bmBlocking;
  uint32_t FBytesReceived = 0;
  uint32_t FBytesSent = 0;
};

class TIpSocket : public TBaseSocket {
 public:
  const std::string& RemoteHost() const { return FRemoteHost; }
  const std::string& RemotePort() const { return FRemotePort; }
  // A change closes an open socket first.
  void SetRemoteHost(const std::string& value);
  void SetRemotePort(const std::string& value);

  // Dotted IPv4 text for a host: "0.0.0.0" for an empty host, the first address of a
  // name, the text itself when it is already an address, empty when nothing fits.
  static std::string LookupHostAddr(const std::string& host);
  // Port number (host byte order): 0 for an empty text, a service name's port, else the
  // decimal value. Raises EConvertError "'%s' is not a valid integer value" for a text
  // that is neither; a number outside 0..65535 gives 0, which no connect accepts.
  static uint16_t LookupPort(const std::string& port);

 private:
  std::string FRemoteHost;
  std::string FRemotePort;
};

class TCustomIpClient : public TIpSocket {
 public:
  ~TCustomIpClient() override;
  bool Connected() const { return FConnected; }
  void Open() override;
  void Close() override;

  TSocketNotifyEvent OnConnect;
  TSocketNotifyEvent OnDisconnect;

 protected:
  virtual void DoConnect();
  virtual void DoDisconnect();
  bool FConnected = false;
};

class TTcpClient : public TCustomIpClient {};

}  // namespace net
