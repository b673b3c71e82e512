// SSL.dll: the product's TLS engine, the CreateSSLInterface table over the system's
// Schannel security package (SSPI), client side only.
//
// Certificate policy: the engine encrypts but does not authenticate the server. It asks
// Schannel for manual credential validation and never validates: no certificate chain,
// no revocation and no host-name check (the table gives it no host name, and the program
// configures none). A connection is safe from passive listeners only, not from an active
// man in the middle. The protocol versions are the system's defaults.
//
// The engine does its own socket I/O on the caller's blocking socket (Winsock 1.1):
// handshake, record framing and the buffering that lets peek leave decrypted bytes for
// the next read. A peer that goes silent in the middle of a handshake or a record fails
// the call after the socket's receive time-out, or kStallMs when none is set. A
// connection handle belongs to one thread at a time.
#pragma once

#include "net/SSLInterface.h"

constexpr int kStallMs = 30000;

extern "C" __declspec(dllexport) int SSL_INTERFACE_API CreateSSLInterface(SSLEntry* table);
