#include "net/QZTCPClient.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/Clock.h"
#include "platform/Process.h"
#include "platform/Sockets.h"

namespace net {

TQZTCPClient::TQZTCPClient() : FSocket(std::make_unique<TTcpClientEx>()), FProxy(std::make_unique<TQZTCPProxy>(this)) {
  FProxy->Assign(DefaultProxyInfo);
  FSocket->OnConnect = base::Method<&TQZTCPClient::SocketConnect>(this);
  FSocket->OnDisconnect = base::Method<&TQZTCPClient::SocketDisconnect>(this);
  FSocket->OnError = base::Method<&TQZTCPClient::SocketError>(this);
  FSocket->OnReceive = base::Method<&TQZTCPClient::SocketReceive>(this);
  FSocket->OnSend = base::Method<&TQZTCPClient::SocketSend>(this);
}

TQZTCPClient::~TQZTCPClient() {
  Disconnect();
  FProxy.reset();
  FSocket.reset();
}

void TQZTCPClient::SetHost(const std::string& value) {
  if (value == FHost) return;
  Disconnect();
  FHost = value;
}

void TQZTCPClient::SetPort(const std::string& value) {
  if (value == FPort) return;
  Disconnect();
  FPort = value;
}

void TQZTCPClient::SetUseSSL(bool value) {
  if (value == FUseSSL) return;
  FUseSSL = value;
  if (!Connected()) return;
  if (value)
    FUseSSL = StartTLS();
  else
    StopTLS();
}

bool TQZTCPClient::Connect() {
  if (Connected()) return true;
  DropBuffered();
  if (!FProxy->Connect(FHost, FPort)) return false;
  if (FUseSSL && !StartTLS()) {
    Disconnect();
    return false;
  }
  return true;
}

void TQZTCPClient::Disconnect() {
  DropBuffered();
  FSSL.reset();
  if (FSocket->Active()) FSocket->Close();
}

bool TQZTCPClient::StartTLS() {
  if (FSSL || !FSocket->Active()) return FSSL != nullptr;
  if (Buffered() > 0) {
    // The handshake reads the socket itself and would never see these bytes; a server
    // (or a proxy's tunnel) has no business sending before the client's hello.
    platform::DebugOutput("TLS Start Refused: data arrived before the handshake");
    return false;
  }
  auto ssl = std::make_unique<TSSLClient>(FSocket->Handle(), FHost);
  if (!ssl->Connect()) return false;
  FSSL = std::move(ssl);
  return true;
}

void TQZTCPClient::StopTLS() {
  // Bytes decrypted under TLS are no part of the plain stream that follows.
  DropBuffered();
  FSSL.reset();
  FUseSSL = false;
}

bool TQZTCPClient::WaitForData(int32_t ms) {
  if (!FSocket->Active()) return false;
  if (Buffered() > 0) return true;
  // Bytes the TLS engine decrypted already are not visible on the socket any more.
  if (FSSL && FSSL->Pending() > 0) return true;
  bool readable = true, except = true;
  if (WaitReadable(&readable, &except, ms) <= 0 || !readable || except) return false;
  // Under TLS a readable socket may hold only part of a record, and a read would block
  // until the rest arrived (or the engine gave up), whatever ms said. The read that
  // follows reports a closed peer as well.
  if (FSSL) return true;
  // Taking what arrived tells a closed peer (nothing to read) from data, and saves the
  // read that would follow.
  return FillBuffer(kNoWait) > 0;
}

int TQZTCPClient::WaitReadable(bool* readable, bool* except, int32_t ms) {
  if (!Interrupt) {
    *readable = *except = true;
    return FSocket->ErrorCheck(platform::SocketSelect(FSocket->Handle(), readable, nullptr, except, ms));
  }
  // In slices, so that the interrupt flag is seen while the peer stays silent; a wait of
  // 0 ms still looks once.
  uint32_t start = platform::TickCount();
  for (;;) {
    if (*Interrupt) return -1;
    uint32_t spent = platform::TickCount() - start;
    int32_t left =
        ms < 0 ? kInterruptSliceMs : ms - static_cast<int32_t>(std::min<uint32_t>(spent, static_cast<uint32_t>(ms)));
    int32_t slice = std::min<int32_t>(kInterruptSliceMs, left);
    *readable = *except = true;
    int rc = FSocket->ErrorCheck(platform::SocketSelect(FSocket->Handle(), readable, nullptr, except, slice));
    if (rc > 0) return *Interrupt ? -1 : rc;
    if (rc < 0 || !FSocket->Active()) return -1;
    if (ms >= 0 && slice >= left) return 0;
  }
}

int TQZTCPClient::ReadAvailable(void* buffer, int count, int32_t ms) {
  if (!FSocket->Active() || count <= 0) return kReadFailed;
  if (Buffered() > 0) return TakeBuffered(buffer, count);
  if (static_cast<size_t>(count) < kReadAheadSize) {
    int n = FillBuffer(ms);
    return n > 0 ? TakeBuffered(buffer, count) : n;
  }
  if (!FSSL || FSSL->Pending() <= 0) {
    bool readable = true, except = true;
    int rc = WaitReadable(&readable, &except, ms);
    if (rc == 0) return kReadTimedOut;
    if (rc < 0 || !readable) return kReadFailed;
  }
  int n = RawReceive(buffer, count);
  return n < 0 ? kReadFailed : n;
}

int TQZTCPClient::FillBuffer(int32_t ms) {
  if (!FSocket->Active()) return kReadFailed;
  if (FIn.empty()) FIn.resize(kReadAheadSize);
  // What is left is at most the start of a line still waiting for its end.
  if (FInStart > 0) {
    std::memmove(FIn.data(), FIn.data() + FInStart, Buffered());
    FInEnd -= FInStart;
    FInStart = 0;
  }
  if (FInEnd >= FIn.size()) return kReadFailed;
  if (ms != kNoWait && (!FSSL || FSSL->Pending() <= 0)) {
    bool readable = true, except = true;
    int rc = WaitReadable(&readable, &except, ms);
    if (rc == 0) return kReadTimedOut;
    if (rc < 0 || !readable) return kReadFailed;
  }
  int n = RawReceive(FIn.data() + FInEnd, static_cast<int>(FIn.size() - FInEnd));
  if (n < 0) return kReadFailed;
  FInEnd += static_cast<size_t>(n);
  return n;
}

int TQZTCPClient::TakeBuffered(void* buffer, int count, bool consume) {
  size_t n = std::min(Buffered(), static_cast<size_t>(std::max(count, 0)));
  std::memcpy(buffer, FIn.data() + FInStart, n);
  if (consume) {
    FInStart += n;
    if (FInStart == FInEnd) DropBuffered();
  }
  return static_cast<int>(n);
}

int TQZTCPClient::RawReceive(void* buffer, int count) {
  int n = FSSL ? FSSL->Read(buffer, count) : FSocket->ReceiveBuf(buffer, count, 0);
  FLastActivity = base::Now();
  return n;
}

int TQZTCPClient::Peek(void* buffer, int count) {
  if (FSocket->Active() && Buffered() > 0) return TakeBuffered(buffer, count, false);
  return FSSL ? FSSL->Peek(buffer, count) : FSocket->PeekBuf(buffer, count);
}

int TQZTCPClient::Receive(void* buffer, int count) {
  if (FSocket->Active() && Buffered() > 0) return TakeBuffered(buffer, count);
  return RawReceive(buffer, count);
}

int TQZTCPClient::Send(const void* buffer, int count) {
  int n = FSSL ? FSSL->Write(buffer, count) : FSocket->SendBuf(buffer, count, 0);
  FLastActivity = base::Now();
  return n;
}

int TQZTCPClient::SendString(std::string_view s, std::string_view suffix) {
  std::string all;
  all.reserve(s.size() + suffix.size());
  all.append(s).append(suffix);
  return Send(all.data(), static_cast<int>(all.size()));
}

int TQZTCPClient::SendStream(base::TStream& stream) {
  char piece[512];
  int total = 0;
  for (;;) {
    int32_t got = stream.Read(piece, sizeof piece);
    if (got <= 0) return total;
    int sent = Send(piece, got);
    if (sent < 0) return sent;
    if (sent == 0) return total;
    total += sent;
  }
}

bool TQZTCPClient::ReadLn(std::string& line, int32_t ms, std::string_view terminator, size_t maxLength) {
  line.clear();
  if (terminator.empty()) return false;
  const size_t termLen = terminator.size();
  size_t taken = 0;  // bytes of the line consumed so far
  bool cut = false;  // a zero byte came: the rest of the line is dropped
  FLineHadZero = false;
  auto append = [&](std::string_view part) {
    taken += part.size();
    if (cut) return;
    size_t zero = part.find('\0');
    if (zero != std::string_view::npos) {
      cut = FLineHadZero = true;
      part = part.substr(0, zero);
    }
    line.append(part);
  };
  auto buffered = [&] { return Buffered() ? std::string_view(FIn.data() + FInStart, Buffered()) : std::string_view(); };
  for (;;) {
    std::string_view have = buffered();
    size_t end = have.find(terminator);
    // Without the terminator, a possible start of it stays buffered for the next search.
    size_t lineBytes = end != std::string_view::npos ? end : have.size() - std::min(have.size(), termLen - 1);
    // Never more than one byte past the longest line allowed.
    size_t room = maxLength - taken;
    if (room < SIZE_MAX) ++room;
    if (lineBytes > room) {
      lineBytes = room;
      end = std::string_view::npos;
    }
    append(have.substr(0, lineBytes));
    FInStart += lineBytes;
    if (end != std::string_view::npos) {
      FInStart += termLen;
      if (FInStart == FInEnd) DropBuffered();
      return true;
    }
    if (taken > maxLength) return false;
    if (!FSocket->Active() || FillBuffer(ms) <= 0) {
      // The line so far, up to a close or a time-out, is all there is.
      append(buffered());
      DropBuffered();
      return false;
    }
  }
}

void TQZTCPClient::FireConnect() {
  if (OnConnect) OnConnect(this);
}

void TQZTCPClient::SocketConnect(base::TObject*) {
  // A proxied connection reports itself once the tunnel stands.
  if (FProxy->ProxyType == ptNone) FireConnect();
}

void TQZTCPClient::SocketDisconnect(base::TObject*) {
  if (OnDisconnect) OnDisconnect(this);
}

void TQZTCPClient::SocketError(base::TObject*, int error) {
  if (OnError) OnError(this, error);
}

void TQZTCPClient::SocketReceive(base::TObject* sender, uint8_t* buffer, int& length) {
  if (OnReceive) OnReceive(sender, buffer, length);
}

void TQZTCPClient::SocketSend(base::TObject* sender, uint8_t* buffer, int& length) {
  if (OnSend) OnSend(sender, buffer, length);
}

}  // namespace net
