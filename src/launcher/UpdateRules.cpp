#include "launcher/UpdateRules.h"

#include <cstdint>

#include "base/Strings.h"

namespace launcher {

const char* const kBuiltInUpdatePublicKeys = ORBELLE_UPDATE_PUBLIC_KEYS;

std::string UpdatePublicKeys(const std::string& builtIn, const std::string& configured) {
  std::string a = base::Trim(builtIn), b = base::Trim(configured);
  return a.empty() || b.empty() ? a + b : a + "," + b;
}

std::string UpdateConfigUrl(const std::string& updateHost) {
  std::string host = base::Trim(updateHost);
  std::string scheme = "http://";
  for (const char* prefix : {"https://", "http://"}) {
    if (!base::StartsText(prefix, host)) continue;
    scheme = prefix;
    host.erase(0, scheme.size());
    break;
  }
  if (!host.empty() && host.back() == '/') host.pop_back();
  return scheme + (host.empty() ? std::string(kVendorUpdateHost) : host) + kUpdateConfigPath;
}

bool TakeVersionNumber(std::string& s, int& value) {
  size_t dot = s.find('.');
  std::string head = s.substr(0, dot);
  s = dot == std::string::npos ? std::string() : s.substr(dot + 1);
  // Decimal digits only: the general integer parser would also take "$C", "0x0C", "+3"
  // and " 7" for numbers.
  int64_t v = 0;
  bool ok = !head.empty() && head.size() <= 10;
  for (char c : head) {
    if (c < '0' || c > '9') ok = false;
    v = v * 10 + (c - '0');
  }
  ok = ok && v <= INT32_MAX;
  value = ok ? static_cast<int>(v) : 0;
  return ok;
}

bool IsNewVision(const std::string& offered, const std::string& installed) {
  std::string a = offered, b = installed;
  for (int i = 1; !b.empty(); ++i) {
    // An offer that runs out first, or a number that is not one, is not newer.
    if (a.empty()) return false;
    int x, y;
    bool okX = TakeVersionNumber(a, x);
    bool okY = TakeVersionNumber(b, y);
    if (!okX || !okY) return false;
    if (i <= 3 ? x != y : !(y < x)) return false;
  }
  return true;
}

}  // namespace launcher
