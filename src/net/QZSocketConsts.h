// The fixed texts of SOCKS5 negotiation failures (raised as ESocksProxyError).
#pragma once

namespace net {

inline constexpr const char* sSocksTimeout = "timeout";
inline constexpr const char* sSocksUnknownError = "Unknown socks error.";
inline constexpr const char* sSocksInvalidAuthMethod = "Invalid socks authentication method.";
inline constexpr const char* sSocksAuthError = "Authentication error to socks server.";
inline constexpr const char* sSocksGeneralFailure = "General SOCKS server failure.";
inline constexpr const char* sSocksNotAllowed = "Connection not allowed by ruleset.";
inline constexpr const char* sSocksNetUnreachable = "Network unreachable.";
inline constexpr const char* sSocksHostUnreachable = "Host unreachable.";
inline constexpr const char* sSocksConnectionRefused = "Connection refused.";
inline constexpr const char* sSocksTTLExpired = "TTL expired.";
inline constexpr const char* sSocksCommandNotSupported = "Command not supported.";
inline constexpr const char* sSocksAddressNotSupported = "Address type not supported.";

}  // namespace net
