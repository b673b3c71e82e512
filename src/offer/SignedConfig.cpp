#include "offer/SignedConfig.h"

#include <cstdio>
#include <vector>

#include "base/Base64.h"
#include "base/DateTime.h"
#include "base/Format.h"
#include "base/Strings.h"
#include "crypto/Ed25519.h"
#include "crypto/Sha256.h"

namespace offer {
namespace {

struct TLine {
  std::string_view Content;
  std::string_view Break;  // "\r\n", "\n", "\r" or empty for a last line without one
};

std::vector<TLine> SplitLines(std::string_view text) {
  std::vector<TLine> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.push_back({text.substr(start), {}});
      break;
    }
    size_t breakLength = text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1;
    lines.push_back({text.substr(start, end - start), text.substr(end, breakLength)});
    start = end + breakLength;
  }
  return lines;
}

// The name of a section line ("[name]"), or false for any other line.
bool SectionName(std::string_view line, std::string& name) {
  std::string t = base::Trim(line);
  if (t.empty() || t[0] != '[') return false;
  size_t close = t.find(']');
  name = base::Trim(std::string_view(t).substr(1, close == std::string::npos ? std::string::npos : close - 1));
  return true;
}

// The key of a "key=value" line, or false for a line without '='.
bool KeyOf(std::string_view line, std::string& key, std::string& value) {
  size_t eq = line.find('=');
  if (eq == std::string_view::npos) return false;
  key = base::Trim(line.substr(0, eq));
  value = base::Trim(line.substr(eq + 1));
  return true;
}

bool IsSignedValueKey(std::string_view key) {
  for (const char* k : {"PackageSize", "PackageSha256", "Serial", "Expires", "RolloutPercent", "HealthySeconds"})
    if (base::SameText(key, k)) return true;
  // Delta<digits>...: the deltas are written anew.
  return key.size() > 5 && base::SameText(key.substr(0, 5), "Delta") && key[5] >= '0' && key[5] <= '9';
}

}  // namespace

TSignatureLine SplitSignature(std::string_view text, size_t& signedLength, std::string& signature) {
  signedLength = 0;
  signature.clear();
  std::string_view body = text;
  if (body.size() >= 2 && body.substr(body.size() - 2) == "\r\n")
    body.remove_suffix(2);
  else if (!body.empty() && (body.back() == '\n' || body.back() == '\r'))
    body.remove_suffix(1);
  size_t lastBreak = body.find_last_of("\r\n");
  size_t lineStart = lastBreak == std::string_view::npos ? 0 : lastBreak + 1;
  std::string_view line = body.substr(lineStart);
  if (line.substr(0, kSignaturePrefix.size()) != kSignaturePrefix) return TSignatureLine::slMissing;
  std::string_view value = line.substr(kSignaturePrefix.size());
  std::string bytes;
  if (value.size() != 88 || !base::Base64Decode(value, bytes) || bytes.size() != crypto::kEd25519SignatureSize)
    return TSignatureLine::slMalformed;
  signedLength = lineStart;
  signature = std::move(bytes);
  return TSignatureLine::slFound;
}

bool FindIniValue(std::string_view text, std::string_view section, std::string_view key, std::string& value) {
  bool inSection = false;
  for (const TLine& line : SplitLines(text)) {
    std::string name, k, v;
    if (SectionName(line.Content, name)) {
      if (inSection) return false;  // only the first section of that name counts
      inSection = base::SameText(name, section);
    } else if (inSection && KeyOf(line.Content, k, v) && base::SameText(k, key)) {
      value = v;
      return true;
    }
  }
  return false;
}

bool ParseCount(std::string_view text, int64_t& value) {
  if (text.empty() || text.size() > 18) return false;
  int64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  value = v;
  return true;
}

bool ParseRolloutPercent(std::string_view text, int64_t& percent) {
  int64_t v;
  if (text.size() > 3 || !ParseCount(text, v) || v > 100) return false;
  percent = v;
  return true;
}

bool ParseHealthySeconds(std::string_view text, int64_t& seconds) {
  int64_t v;
  if (text.size() > 4 || !ParseCount(text, v) || v < 1 || v > kMaxHealthySeconds) return false;
  seconds = v;
  return true;
}

bool ParseUtcDate(std::string_view text, int64_t& day) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
  int64_t y, m, d;
  if (!ParseCount(text.substr(0, 4), y) || !ParseCount(text.substr(5, 2), m) || !ParseCount(text.substr(8, 2), d))
    return false;
  base::TDateTime dt;
  if (y < 1970 || !base::TryEncodeDate(static_cast<int>(y), static_cast<int>(m), static_cast<int>(d), dt)) return false;
  day = static_cast<int64_t>(dt - base::kUnixDateDelta);
  return true;
}

std::string FormatUtcDate(int64_t day) {
  int y, m, d;
  base::DecodeDate(static_cast<base::TDateTime>(day) + base::kUnixDateDelta, y, m, d);
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", y, m, d);
  return text;
}

bool ReadOfferValues(std::string_view text, TOfferValues& values, std::string& problem) {
  values = TOfferValues();
  auto read = [&](const char* key, const char* form, auto parse) {
    std::string v;
    if (!FindIniValue(text, "System", key, v)) {
      problem = base::Format("%s is missing from [System]", key);
      return false;
    }
    if (!parse(v)) {
      problem = base::Format("%s is not %s", key, form);
      return false;
    }
    return true;
  };
  bool ok =
      read("PackageSize", "a byte count", [&](const std::string& v) { return ParseCount(v, values.PackageSize); }) &&
      read("PackageSha256", "64 hex digits",
           [&](const std::string& v) { return v.size() == 64 && crypto::FromHex(v, values.PackageSha256); }) &&
      read("Serial", "a decimal number", [&](const std::string& v) { return ParseCount(v, values.Serial); }) &&
      read("Expires", "a date YYYY-MM-DD", [&](const std::string& v) { return ParseUtcDate(v, values.ExpiresDay); });
  if (!ok) return false;
  // The optional values: absent means the default, present must be well-formed.
  std::string v;
  if (FindIniValue(text, "System", "RolloutPercent", v) && !ParseRolloutPercent(v, values.RolloutPercent)) {
    problem = "RolloutPercent is not a number from 0 to 100";
    return false;
  }
  if (FindIniValue(text, "System", "HealthySeconds", v) && !ParseHealthySeconds(v, values.HealthySeconds)) {
    problem = base::Format("HealthySeconds is not a number from 1 to %d", kMaxHealthySeconds);
    return false;
  }
  problem.clear();
  FindIniValue(text, "System", "PackageVision", values.PackageVision);
  FindIniValue(text, "System", "PackagePath", values.PackagePath);
  ReadDeltaOffers(text, values.Deltas, values.DeltaProblem);
  return true;
}

bool ReadDeltaOffers(std::string_view text, std::vector<TDeltaOffer>& deltas, std::string& problem) {
  deltas.clear();
  for (int k = 1; k <= kMaxDeltaOffers; ++k) {
    std::string prefix = "Delta" + std::to_string(k);
    TDeltaOffer d;
    if (!FindIniValue(text, "System", prefix + "From", d.From)) break;
    std::string size, sha;
    if (d.From.empty() || !FindIniValue(text, "System", prefix + "Path", d.Path) || d.Path.empty() ||
        !FindIniValue(text, "System", prefix + "Size", size) || !ParseCount(size, d.Size) ||
        !FindIniValue(text, "System", prefix + "Sha256", sha) || sha.size() != 64 || !crypto::FromHex(sha, d.Sha256)) {
      problem = prefix + " is incomplete or malformed";
      deltas.clear();
      return false;
    }
    deltas.push_back(std::move(d));
  }
  problem.clear();
  return true;
}

bool SignConfig(std::string_view text, const TOfferValues& values, std::string_view seed, std::string& signedText,
                std::string& problem) {
  std::vector<TLine> lines = SplitLines(text);
  std::string_view newBreak = "\r\n";
  for (const TLine& line : lines)
    if (!line.Break.empty()) {
      newBreak = line.Break;
      break;
    }
  // Keep every line but the signed values of [System] and any signature line; note where
  // the first [System] section's last non-blank line ends.
  std::vector<TLine> kept;
  bool inSystem = false;
  int systemSections = 0;
  size_t insertAt = std::string::npos;
  for (const TLine& line : lines) {
    std::string name, key, value;
    if (SectionName(line.Content, name)) {
      inSystem = base::SameText(name, "System") && systemSections++ == 0;
      kept.push_back(line);
      if (inSystem) insertAt = kept.size();
      continue;
    }
    bool hasKey = KeyOf(line.Content, key, value);
    if (hasKey && base::SameText(key, "Signature")) continue;
    if (inSystem && hasKey && IsSignedValueKey(key)) continue;
    kept.push_back(line);
    if (inSystem && !base::Trim(line.Content).empty()) insertAt = kept.size();
  }
  if (insertAt == std::string::npos) {
    problem = "the configuration has no [System] section";
    return false;
  }
  std::string out;
  auto emit = [&](std::string_view content, std::string_view lineBreak) {
    out.append(content);
    out.append(lineBreak.empty() ? newBreak : lineBreak);
  };
  for (size_t i = 0; i <= kept.size(); ++i) {
    if (i == insertAt) {
      emit("PackageSize=" + std::to_string(values.PackageSize), newBreak);
      emit("PackageSha256=" + crypto::ToHex(values.PackageSha256), newBreak);
      emit("Serial=" + std::to_string(values.Serial), newBreak);
      emit("Expires=" + FormatUtcDate(values.ExpiresDay), newBreak);
      for (size_t k = 0; k < values.Deltas.size(); ++k) {
        const TDeltaOffer& d = values.Deltas[k];
        std::string prefix = "Delta" + std::to_string(k + 1);
        emit(prefix + "From=" + d.From, newBreak);
        emit(prefix + "Path=" + d.Path, newBreak);
        emit(prefix + "Size=" + std::to_string(d.Size), newBreak);
        emit(prefix + "Sha256=" + crypto::ToHex(d.Sha256), newBreak);
      }
      if (values.RolloutPercent != kFullRollout)
        emit("RolloutPercent=" + std::to_string(values.RolloutPercent), newBreak);
      if (values.HealthySeconds != kDefaultHealthySeconds)
        emit("HealthySeconds=" + std::to_string(values.HealthySeconds), newBreak);
    }
    if (i < kept.size()) emit(kept[i].Content, kept[i].Break);
  }
  std::string signature = crypto::Ed25519Sign(seed, out);
  if (signature.empty()) {
    problem = "the private key cannot sign";
    return false;
  }
  out.append(kSignaturePrefix);
  out.append(base::Base64Encode(signature));
  out.append(newBreak);
  signedText = std::move(out);
  return true;
}

}  // namespace offer
