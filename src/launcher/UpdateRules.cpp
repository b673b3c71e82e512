#include "launcher/UpdateRules.h"

#include <cstdint>
#include <vector>

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

TStartHealth JudgeStart(bool started, bool exited, uint32_t exitCode, uint32_t elapsedMs, int64_t healthySeconds) {
  if (!started) return TStartHealth::shFailed;
  bool lastedLongEnough = static_cast<int64_t>(elapsedMs) >= healthySeconds * 1000;
  if (exited) return exitCode == 0 || lastedLongEnough ? TStartHealth::shHealthy : TStartHealth::shFailed;
  return lastedLongEnough ? TStartHealth::shHealthy : TStartHealth::shPending;
}

namespace {

std::vector<std::string> SplitVisions(const std::string& list) {
  std::vector<std::string> items;
  size_t start = 0;
  while (start <= list.size()) {
    size_t comma = list.find(',', start);
    std::string item = base::Trim(list.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (!item.empty()) items.push_back(item);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return items;
}

bool SameVision(const std::string& a, const std::string& b) {
  std::string x = a, y = b;
  while (!x.empty() && !y.empty()) {
    int u, v;
    if (!TakeVersionNumber(x, u) || !TakeVersionNumber(y, v)) return a == b;
    if (u != v) return false;
  }
  return x.empty() && y.empty();
}

}  // namespace

bool IsBadVision(const std::string& badVisions, const std::string& version) {
  for (const std::string& bad : SplitVisions(badVisions))
    if (SameVision(bad, version)) return true;
  return false;
}

std::string AddBadVision(const std::string& badVisions, const std::string& version) {
  std::vector<std::string> items = SplitVisions(badVisions);
  std::string v = base::Trim(version);
  // A comma would split the version into two.
  if (v.empty() || v.find(',') != std::string::npos || IsBadVision(badVisions, v)) {
    std::string same;
    for (const std::string& item : items) same += (same.empty() ? "" : ",") + item;
    return same;
  }
  items.push_back(v);
  size_t first = items.size() > kMaxBadVisions ? items.size() - kMaxBadVisions : 0;
  std::string out;
  for (size_t i = first; i < items.size(); ++i) out += (out.empty() ? "" : ",") + items[i];
  return out;
}

}  // namespace launcher
