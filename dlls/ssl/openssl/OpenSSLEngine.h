// The native TLS engine: the CreateSSLInterface table over OpenSSL, for the portable
// core's builds and tests.
//
// Certificate policy: the engine encrypts but does not authenticate the server. It
// checks no certificate chain and no host name: the table gives it no host name to check
// against, and the program configures no trust store. A connection is therefore safe
// from passive listeners only, not from an active man in the middle; callers that need
// more must verify the content they receive. TLS 1.2 is the lowest version offered.
//
// A peer that closes the TCP connection without a close notification reads as an
// orderly close (0), as a plain socket would; writing to a closed peer is an error
// result (no SIGPIPE). A peer that goes silent in the middle of a handshake or a record
// fails the call after the socket's receive time-out, or kStallMs when none is set.
#pragma once

#include "net/SSLInterface.h"

constexpr int kStallMs = 30000;

extern "C" __attribute__((visibility("default"))) int CreateSSLInterface(SSLEntry* table);
