#include "launcher/UpdateRules.h"

#include "base/Strings.h"

namespace launcher {

std::string UpdateConfigUrl(const std::string& updateHost) {
  std::string host = base::Trim(updateHost);
  return "http://" + (host.empty() ? std::string(kVendorUpdateHost) : host) + kUpdateConfigPath;
}

bool TakeVersionNumber(std::string& s, int& value) {
  size_t dot = s.find('.');
  std::string head = s.substr(0, dot);
  s = dot == std::string::npos ? std::string() : s.substr(dot + 1);
  int32_t v = 0;
  bool ok = base::TryStrToInt(head, v);
  value = ok ? v : 0;
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
