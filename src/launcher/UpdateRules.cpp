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
  return "http://" + (host.empty() ? std::string(kVendorUpdateHost) : host) + kUpdateConfigPath;
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

bool ParseRolloutBucket(const std::string& text, int& bucket) {
  if (text.empty() || text.size() > 2) return false;
  int v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  bucket = v;
  return true;
}

int RolloutBucket(const std::string& kept, uint32_t random, bool& drawn) {
  int bucket = 0;
  drawn = !ParseRolloutBucket(base::Trim(kept), bucket);
  // 2^32 is not a multiple of 100: the first 96 buckets are favoured by one part in 4e7.
  return drawn ? static_cast<int>(random % kRolloutBuckets) : bucket;
}

}  // namespace launcher
