// The byte pipe under the HTTP client: one TTcpClientEx socket, connected directly or
// through a proxy (TQZTCPProxy), optionally switched to TLS (TSSLClient), with the read
// primitives the HTTP layer builds on: wait-for-data with a time-out, peek, receive,
// send and read-a-line. Socket failures are results (-1, short counts, false) and fire
// OnError; only a SOCKS5 negotiation raises (ESocksProxyError).
// Reads go through a read-ahead buffer (decrypted bytes under TLS): one socket read
// brings whatever has arrived, and lines, chunk-size lines and small body pieces are
// then taken from memory, so a response of many small pieces costs one wait and one
// read per arrival rather than several calls per piece. Bytes read past the end of one
// answer stay buffered for the next on a kept connection; a new connection starts empty.
// A client belongs to one thread and is not locked.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/DateTime.h"
#include "base/Stream.h"
#include "net/QZTCPProxy.h"
#include "net/SSLClient.h"
#include "net/TcpClientEx.h"

namespace net {

class TQZTCPClient : public base::TObject {
 public:
  TQZTCPClient();
  // Disconnects, then frees the proxy and the socket.
  ~TQZTCPClient() override;

  const std::string& Host() const { return FHost; }
  const std::string& Port() const { return FPort; }
  // A different value disconnects first. Port is decimal text or a service name.
  void SetHost(const std::string& value);
  void SetPort(const std::string& value);
  bool UseSSL() const { return FUseSSL; }
  // Remembered across disconnects; on a connected client true starts TLS at once (and
  // stays false when that fails), false stops it.
  void SetUseSSL(bool value);

  TTcpClientEx& Socket() { return *FSocket; }
  TQZTCPProxy& Proxy() { return *FProxy; }
  bool SSLActive() const { return FSSL != nullptr; }

  // The socket is open.
  bool Connected() const { return FSocket->Active(); }
  // Connects (through the proxy when one is set) and starts TLS when UseSSL is on;
  // false, disconnected, when any step fails. May raise ESocksProxyError, and
  // EConvertError for a port text that is neither a number nor a service.
  bool Connect();
  void Disconnect();
  bool StartTLS();
  void StopTLS();

  // True when at least one byte can be read within ms milliseconds; false when the wait
  // ends, the peer closed, the socket failed or the interrupt flag is set. Buffered bytes
  // count as readable at once, interrupt or not.
  bool WaitForData(int32_t ms);
  // Set from another thread to end waits for data within kInterruptSliceMs: shutting the
  // socket down from another thread does not wake a waiting select everywhere (Wine's
  // Winsock does not). Not owned; may stay null.
  const std::atomic<bool>* Interrupt = nullptr;
  static constexpr int32_t kInterruptSliceMs = 50;
  // Reads what is there, up to count bytes, after one wait of at most ms for the socket
  // to become readable (buffered bytes and bytes the TLS engine holds count as readable):
  // > 0 bytes read, 0 when the peer closed, kReadFailed on a socket or TLS failure,
  // kReadTimedOut when nothing arrived in time. Buffered bytes come first; with none, a
  // request of at least kReadAheadSize goes straight into the caller's buffer (no copy),
  // a smaller one refills the read-ahead buffer.
  static constexpr int kReadFailed = -1;
  static constexpr int kReadTimedOut = -2;
  // Waits end early, as failures, when the interrupt flag is set.
  int ReadAvailable(void* buffer, int count, int32_t ms);
  // Buffered bytes when there are any, else a peek at the socket (or TLS engine).
  int Peek(void* buffer, int count);
  // Buffered bytes when there are any, else one blocking read.
  int Receive(void* buffer, int count);
  int Send(const void* buffer, int count);
  int SendString(std::string_view s, std::string_view suffix = {});
  // Sends the stream from its position in 512-byte pieces until it is exhausted or a
  // send moves nothing: the bytes sent, or the failing send's negative result.
  int SendStream(base::TStream& stream);
  // Reads one line ended by terminator (consumed, not stored); each wait for more bytes
  // may take ms. True when the terminator was found. Bytes after a zero byte, up to the
  // terminator, do not reach the line (they are consumed). A line longer than maxLength
  // ends the read with false. Only the line's own bytes are taken: what follows the
  // terminator stays for the next read. On a failure the line holds what was read.
  bool ReadLn(std::string& line, int32_t ms, std::string_view terminator = "\r\n", size_t maxLength = kMaxLineLength);
  // True when the line of the last ReadLn held a zero byte, and so lost what followed it.
  bool LineHadZero() const { return FLineHadZero; }
  static constexpr size_t kMaxLineLength = 65536;

  // Local time of the last read from the socket or send.
  base::TDateTime LastActivity() const { return FLastActivity; }

  // Bytes read from the connection and not taken yet.
  size_t Buffered() const { return FInEnd - FInStart; }
  static constexpr size_t kReadAheadSize = 65536;

  TSocketErrorEvent OnError;
  TSocketNotifyEvent OnDisconnect;
  TSocketNotifyEvent OnConnect;
  TSocketDataEvent OnReceive;
  TSocketDataEvent OnSend;

 private:
  // One readiness wait of at most ms (in kInterruptSliceMs slices when an interrupt flag
  // is set): > 0 ready, 0 timed out, < 0 failed or interrupted.
  int WaitReadable(bool* readable, bool* except, int32_t ms);
  // One read from the socket or the TLS engine, no wait; sets LastActivity.
  int RawReceive(void* buffer, int count);
  // Waits at most ms, then appends what arrived to the read-ahead buffer: ReadAvailable's
  // results. kNoWait reads at once (the socket is known to be readable).
  static constexpr int32_t kNoWait = INT32_MIN;
  int FillBuffer(int32_t ms);
  // Copies up to count buffered bytes out; consume takes them off the buffer.
  int TakeBuffered(void* buffer, int count, bool consume = true);
  void DropBuffered() { FInStart = FInEnd = 0; }
  friend class TQZTCPProxy;
  void SocketConnect(base::TObject* sender);
  void SocketDisconnect(base::TObject* sender);
  void SocketError(base::TObject* sender, int error);
  void SocketReceive(base::TObject* sender, uint8_t* buffer, int& length);
  void SocketSend(base::TObject* sender, uint8_t* buffer, int& length);
  void FireConnect();

  std::unique_ptr<TTcpClientEx> FSocket;
  std::unique_ptr<TSSLClient> FSSL;
  std::unique_ptr<TQZTCPProxy> FProxy;
  std::string FHost;
  std::string FPort;
  bool FUseSSL = false;
  base::TDateTime FLastActivity = 0;
  // The read-ahead buffer (kReadAheadSize once first used): bytes [FInStart, FInEnd).
  std::vector<char> FIn;
  size_t FInStart = 0;
  size_t FInEnd = 0;
  bool FLineHadZero = false;
};

}  // namespace net
