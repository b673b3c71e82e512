#include "net/TcpClientEx.h"

#include <algorithm>

#include "platform/Clock.h"

namespace net {

TTcpClientEx::~TTcpClientEx() { Close(); }

void TTcpClientEx::SetLinger(const TLingerOption& value) {
  FLinger = value;
  if (FActive) ApplyLinger();
}

void TTcpClientEx::ApplyLinger() { ErrorCheck(platform::SocketSetLinger(FSocket, FLinger.OnOff, FLinger.Seconds)); }

void TTcpClientEx::DoCreateHandle() {
  TTcpClient::DoCreateHandle();
  if (!FActive) return;
  if (SendTimeout != 0) ErrorCheck(platform::SocketSetSendTimeout(FSocket, SendTimeout));
  if (ReceiveTimeout != 0) ErrorCheck(platform::SocketSetReceiveTimeout(FSocket, ReceiveTimeout));
  if (SendBufferSize > 0) ErrorCheck(platform::SocketSetSendBufferSize(FSocket, SendBufferSize));
  if (ReceiveBufferSize > 0) ErrorCheck(platform::SocketSetReceiveBufferSize(FSocket, ReceiveBufferSize));
  ErrorCheck(platform::SocketSetNoDelay(FSocket, NoDelay));
  ApplyLinger();
  if (FConnecting && FBlockMode == bmBlocking) ErrorCheck(platform::SocketSetNonBlocking(FSocket, true));
}

void TTcpClientEx::DoHandleError() {
  int error = platform::SocketLastError();
  FWouldBlock = error == platform::kWSAEWOULDBLOCK || error == platform::kWSAEINPROGRESS;
  // The connect of a time-out connect reports would-block by design; that is no error.
  if (FConnecting && FWouldBlock) return;
  if (OnError) OnError(this, error);
}

bool TTcpClientEx::WaitConnected(bool& writable) {
  // A connect that fails is reported as writable by BSD sockets, in the exception set by
  // Winsock: both are waited for, and the pending error tells which it was.
  bool except = true;
  writable = true;
  if (!Interrupt) return Select(nullptr, &writable, &except, ConnectTimeout) && (writable || except);
  uint32_t start = platform::TickCount();
  for (;;) {
    if (*Interrupt) return false;
    uint32_t spent = platform::TickCount() - start;
    if (spent >= static_cast<uint32_t>(ConnectTimeout)) return false;
    int32_t slice = std::min<int32_t>(kInterruptSliceMs, ConnectTimeout - static_cast<int32_t>(spent));
    writable = except = true;
    int rc = platform::SocketSelect(FSocket, nullptr, &writable, &except, slice);
    if (rc != 0) return rc > 0 && !*Interrupt;
  }
}

void TTcpClientEx::Open() {
  FConnecting = ConnectTimeout != 0;
  FWouldBlock = false;
  TTcpClient::Open();
  if (!FConnecting) return;
  FConnecting = false;
  if (!FActive) return;
  bool waited = false;
  if (!FConnected && FWouldBlock) {
    bool writable = true;
    waited = true;
    // A failed select or a time-out leaves the socket unconnected.
    if (WaitConnected(writable)) {
      int pending = platform::SocketPendingError(FSocket);
      if (pending == 0 && !writable) pending = -1;  // in the exception set, the error unreadable
      if (pending != 0) {
        if (pending > 0 && OnError) OnError(this, pending);
      } else if (ErrorCheck(platform::SocketSetNonBlocking(FSocket, false)) == 0) {
        FConnected = true;
        DoConnect();
      }
    }
  }
  // A connect that finished or failed at once must not leave a blocking-mode socket
  // non-blocking behind the caller's back.
  if (!waited && FBlockMode == bmBlocking) ErrorCheck(platform::SocketSetNonBlocking(FSocket, false));
}

}  // namespace net
