// The real servers tests/support/net/with-servers started for this run (tinyproxy,
// microsocks, openssl s_server), found through the environment. Each port accessor gives
// the port as text, empty when that server is not running (the test then skips).
#pragma once

#include <string>

#include "platform/Process.h"

namespace testsupport {

inline std::string HttpProxyPort() { return platform::GetEnv("ORBELLE_TEST_HTTP_PROXY_PORT"); }
inline std::string HttpProxyAuthPort() { return platform::GetEnv("ORBELLE_TEST_HTTP_PROXY_AUTH_PORT"); }
inline std::string SocksPort() { return platform::GetEnv("ORBELLE_TEST_SOCKS_PORT"); }
inline std::string SocksAuthPort() { return platform::GetEnv("ORBELLE_TEST_SOCKS_AUTH_PORT"); }
inline std::string TlsServerPort() { return platform::GetEnv("ORBELLE_TEST_TLS_PORT"); }
// The PEM file that makes the TLS server's certificate trusted.
inline std::string TlsCAFile() { return platform::GetEnv("ORBELLE_TEST_TLS_CA_FILE"); }
inline std::string ProxyUser() { return platform::GetEnv("ORBELLE_TEST_PROXY_USER"); }
inline std::string ProxyPassword() { return platform::GetEnv("ORBELLE_TEST_PROXY_PASSWORD"); }

}  // namespace testsupport
