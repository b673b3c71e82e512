#include "net/QZTCPClient.h"

#include <algorithm>
#include <cstring>

#include "platform/Clock.h"
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
  if (!FProxy->Connect(FHost, FPort)) return false;
  if (FUseSSL && !StartTLS()) {
    Disconnect();
    return false;
  }
  return true;
}

void TQZTCPClient::Disconnect() {
  FSSL.reset();
  if (FSocket->Active()) FSocket->Close();
}

bool TQZTCPClient::StartTLS() {
  if (FSSL || !FSocket->Active()) return FSSL != nullptr;
  auto ssl = std::make_unique<TSSLClient>(FSocket->Handle(), FHost);
  if (!ssl->Connect()) return false;
  FSSL = std::move(ssl);
  return true;
}

void TQZTCPClient::StopTLS() {
  FSSL.reset();
  FUseSSL = false;
}

bool TQZTCPClient::WaitForData(int32_t ms) {
  if (!FSocket->Active()) return false;
  // Bytes the TLS engine decrypted already are not visible on the socket any more.
  if (FSSL && FSSL->Pending() > 0) return true;
  bool readable = true, except = true;
  if (WaitReadable(&readable, &except, ms) <= 0 || !readable || except) return false;
  // Under TLS a readable socket may hold only part of a record, and a peek would block
  // until the rest arrived (or the engine gave up), whatever ms said. The read that
  // follows reports a closed peer as well.
  if (FSSL) return true;
  char probe;
  return Peek(&probe, 1) == 1;
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
  if (!FSocket->Active()) return kReadFailed;
  if (!FSSL || FSSL->Pending() <= 0) {
    bool readable = true, except = true;
    int rc = WaitReadable(&readable, &except, ms);
    if (rc == 0) return kReadTimedOut;
    if (rc < 0 || !readable) return kReadFailed;
  }
  int n = Receive(buffer, count);
  return n < 0 ? kReadFailed : n;
}

int TQZTCPClient::Peek(void* buffer, int count) {
  return FSSL ? FSSL->Peek(buffer, count) : FSocket->PeekBuf(buffer, count);
}

int TQZTCPClient::Receive(void* buffer, int count) {
  int n = FSSL ? FSSL->Read(buffer, count) : FSocket->ReceiveBuf(buffer, count, 0);
  FLastActivity = base::Now();
  return n;
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
  const int termLen = static_cast<int>(terminator.size());
  // The last bytes received, untouched by the zero-byte cut, to find a terminator whose
  // first bytes had to be taken before the rest arrived.
  std::string tail;
  char buf[512];
  for (;;) {
    if (!WaitForData(ms)) return false;
    int count = Peek(buf, sizeof buf - 1);
    if (count <= 0) return false;
    buf[count] = '\0';
    std::string_view peeked(buf, static_cast<size_t>(count));

    int n;
    bool found = false;
    int dropFromLine = 0;  // terminator bytes received earlier, to take off the line
    // A terminator that started in what was received before.
    for (int k = std::min<int>(static_cast<int>(tail.size()), termLen - 1); k >= 1 && !found; --k) {
      if (std::string_view(tail).ends_with(terminator.substr(0, static_cast<size_t>(k))) &&
          peeked.starts_with(terminator.substr(static_cast<size_t>(k)))) {
        found = true;
        n = termLen - k;
        dropFromLine = k;
      }
    }
    size_t p = found ? std::string_view::npos : peeked.find(terminator);
    if (p != std::string_view::npos) {
      found = true;
      n = static_cast<int>(p) + termLen;
    } else if (!found) {
      // Leave a possible terminator start in the socket while there is more to take.
      n = count > termLen - 1 ? count - (termLen - 1) : count;
    }

    int got = Receive(buf, n);
    if (got < 1) return false;
    if (got < n) found = false;  // the terminator did not arrive with these bytes
    std::string_view received(buf, static_cast<size_t>(got));
    tail.append(received);
    if (tail.size() > terminator.size()) tail.erase(0, tail.size() - terminator.size());
    if (found) {
      if (dropFromLine > 0) {
        line.erase(line.size() - std::min(line.size(), static_cast<size_t>(dropFromLine)));
        received = {};
      } else {
        received.remove_suffix(terminator.size());
      }
    }
    size_t zero = received.find('\0');
    line.append(received.substr(0, zero));
    if (found) return true;
    if (line.size() > maxLength) return false;
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
