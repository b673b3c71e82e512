// Pure text routines of the HTTP client and the cookie manager: URL splitting, the two
// percent-encodings, HTML escaping, digit extraction, and HTTP dates with the conversion
// between local time and UTC. All texts are 8-bit; positions are 1-based; nothing here
// keeps state, so every routine may be called from any thread.
#pragma once

#include <string>
#include <string_view>

#include "base/DateTime.h"

namespace net {

// Splits an http:// or https:// URL (scheme compared without case). False, with the
// outputs untouched, for any other scheme. Port is empty for http without one (the
// caller supplies 80) and "443" for https without one; Path is "/" when the URL has
// none and keeps the query. LastSegment is the text after the last '/'. User
// information and IPv6 literals get no special handling.
bool SplitURL(std::string_view url, std::string& authority, std::string& path, std::string& port, std::string& host,
              std::string& lastSegment);

// The URL before its last '/', the whole URL when it has none.
std::string URLDirectory(std::string_view url);
// Every space becomes %20; all other bytes stay.
std::string EncodeSpaces(std::string_view path);
// Form and cookie encoding up to the first zero byte: ! $ ' ( ) * - . @ _ and
// alphanumerics stay, a space becomes '+', every other byte %XX (capital hex digits).
std::string URLEncode(std::string_view text);
// Up to the first zero byte: " & < > become &quot; &amp; &lt; &gt;.
std::string HTMLEscape(std::string_view text);
// The run of decimal digits at or after the 1-based start position; empty when none.
std::string ExtractDigits(std::string_view text, int start);

// "SUN, 06 Nov 1994 08:49:37 GMT" for a UTC date-time. The day names are in capitals
// on purpose: servers compare case-insensitively and stored requests carry them so.
std::string HTTPDateToStr(base::TDateTime utc);
std::string LocalToHTTPDate(base::TDateTime local);
// Local time of an RFC 1123, RFC 850 or asctime date (zone offsets honoured); 0 for an
// empty text or any text that does not give a valid date and time. Never raises.
base::TDateTime ParseHTTPDate(std::string_view text);
// Local time minus UTC, now, as a date-time span (positive east of UTC).
base::TDateTime LocalOffset();

}  // namespace net
