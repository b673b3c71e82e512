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
// orderly close (0), as a plain socket would. The engine ignores SIGPIPE for the process
// on initialisation, so that writing to a closed peer is an error result, not the end
// of the program.
#pragma once

#include "net/SSLInterface.h"

extern "C" __attribute__((visibility("default"))) int CreateSSLInterface(SSLEntry* table);
