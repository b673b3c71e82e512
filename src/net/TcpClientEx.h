// The TCP client the product's connections use: the published client plus socket
// options applied on every open and a connect that can give up after a time-out.
#pragma once

#include <atomic>
#include <cstdint>

#include "net/Sockets.h"

namespace net {

// SO_LINGER as the product sets it: on/off and seconds.
struct TLingerOption {
  bool OnOff = false;
  uint16_t Seconds = 0;
};

class TTcpClientEx : public TTcpClient {
 public:
  ~TTcpClientEx() override;

  // 0 = blocking connect that ends when the system gives up; > 0 = give up after that
  // many milliseconds (Connected stays false).
  int32_t ConnectTimeout = 0;
  // With a time-out connect: set from another thread, it ends the wait for the connect
  // within kInterruptSliceMs (not owned; may stay null). A blocking connect cannot be
  // interrupted.
  const std::atomic<bool>* Interrupt = nullptr;
  static constexpr int32_t kInterruptSliceMs = 50;
  // Applied when the socket is opened; changing them later has no effect on an open
  // socket, except Linger (SetLinger), which is re-applied at once.
  bool NoDelay = false;
  int32_t SendTimeout = 0;     // ms, set only when non-zero
  int32_t ReceiveTimeout = 0;  // ms, set only when non-zero
  // Socket buffer sizes in bytes; 0 leaves them to the system, whose automatic tuning
  // lets the TCP window grow with the link (a fixed small buffer caps throughput at one
  // window per round trip).
  int32_t SendBufferSize = 0;
  int32_t ReceiveBufferSize = 0;
  const TLingerOption& Linger() const { return FLinger; }
  void SetLinger(const TLingerOption& value);

  // True while a time-out connect is in flight.
  bool Connecting() const { return FConnecting; }
  // The last failed call reported kWSAEWOULDBLOCK or kWSAEINPROGRESS.
  bool WouldBlock() const { return FWouldBlock; }

  void Open() override;

 protected:
  void DoCreateHandle() override;
  void DoHandleError() override;

 private:
  void ApplyLinger();
  // Waits up to ConnectTimeout for the socket to become writable (in slices while an
  // interrupt flag is given). False on time-out, failure or interrupt.
  bool WaitConnected(bool& writable);
  TLingerOption FLinger;
  bool FConnecting = false;
  bool FWouldBlock = false;
};

}  // namespace net
