// A signed update configuration: the vendor's INI text whose [System] section carries,
// besides PackageVision and PackagePath, the package's size (PackageSize) and SHA-256
// (PackageSha256, hex), the offer's Serial and its last valid day (Expires, a UTC date
// YYYY-MM-DD), optionally the share of installations that take it (RolloutPercent, 0 to
// 100, 100 when absent) and the seconds after which a started release counts as healthy
// (HealthySeconds, 1 to 3600, 10 when absent), and whose last line is "Signature=" followed by the base64 of an Ed25519
// signature over every byte of the file before that line.
//
// This file reads and writes that form; OfferRules.h decides whether an offer is taken.
// Everything here works on untrusted bytes: no reads out of bounds, no unbounded work.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace offer {

constexpr std::string_view kSignaturePrefix = "Signature=";

enum class TSignatureLine {
  slFound,      // signedLength and signature are set
  slMissing,    // the last line does not begin with "Signature="
  slMalformed,  // it does, but its value is not the base64 of 64 bytes
};

// Finds the signature line: the text's last line, after which one line break (CR LF, LF
// or CR) may follow. signedLength is where that line begins (all bytes before it are
// signed), signature its 64 decoded bytes. The value must be exactly the 88 characters
// of canonical base64; nothing else may stand on the line.
TSignatureLine SplitSignature(std::string_view text, size_t& signedLength, std::string& signature);

// A delta offered beside the full package: for installations at version From, the delta
// package at Path (a full URL) with its size and SHA-256 (32 bytes). In [System] as
// Delta<k>From, Delta<k>Path, Delta<k>Size and Delta<k>Sha256, k = 1, 2, ...
struct TDeltaOffer {
  std::string From;
  std::string Path;
  int64_t Size = -1;
  std::string Sha256;
};
// At most this many deltas are read from an offer.
constexpr int kMaxDeltaOffers = 64;
// An offer without RolloutPercent goes to every installation.
constexpr int64_t kFullRollout = 100;
// A release still running this many seconds after its start counts as healthy.
constexpr int64_t kDefaultHealthySeconds = 10;
constexpr int64_t kMaxHealthySeconds = 3600;

// RolloutPercent: 0 to 100 written as decimal digits.
bool ParseRolloutPercent(std::string_view text, int64_t& percent);
// HealthySeconds: 1 to kMaxHealthySeconds written as decimal digits.
bool ParseHealthySeconds(std::string_view text, int64_t& seconds);

// The signed values of an offer.
struct TOfferValues {
  int64_t PackageSize = -1;
  std::string PackageSha256;  // 32 bytes
  int64_t Serial = -1;
  int64_t ExpiresDay = 0;  // days since 1970-01-01, UTC
  int64_t RolloutPercent = kFullRollout;
  int64_t HealthySeconds = kDefaultHealthySeconds;
  // What the offer offers, read from the same signed bytes (the launcher takes them from
  // here, never from the file again): [System] PackageVision (default "0.0.0.0") and
  // PackagePath (default empty).
  std::string PackageVision = "0.0.0.0";
  std::string PackagePath;
  std::vector<TDeltaOffer> Deltas;  // written by SignConfig; read by ReadOfferValues
  std::string DeltaProblem;         // why Deltas is empty although deltas are listed
};

// The first value of key in the first section named section (both without regard to
// case), blanks around key and value removed; false when there is none. Lines end with
// CR LF, LF or CR.
bool FindIniValue(std::string_view text, std::string_view section, std::string_view key, std::string& value);

// A decimal number of 1 to 18 digits, nothing else.
bool ParseCount(std::string_view text, int64_t& value);

// "YYYY-MM-DD" of a real calendar day from 1970-01-01 on, as days since that day.
bool ParseUtcDate(std::string_view text, int64_t& day);
std::string FormatUtcDate(int64_t day);

// The four signed values from [System] of text, the two optional ones (RolloutPercent,
// HealthySeconds), and PackageVision and PackagePath where present; false with problem
// naming the first of the six that is missing or malformed. The deltas are read too
// (ReadDeltaOffers); malformed ones leave Deltas empty and say why in DeltaProblem,
// without refusing the offer.
bool ReadOfferValues(std::string_view text, TOfferValues& values, std::string& problem);

// The delta offers of [System] of text, k counting from 1 up to the first Delta<k>From
// missing. False, with problem naming the first malformed value, when one of them lacks
// a key or has a value out of form (a delta that cannot be taken; the package still can).
bool ReadDeltaOffers(std::string_view text, std::vector<TDeltaOffer>& deltas, std::string& problem);

// The vendor's side (vtzip sign): text with the four values, the optional ones where they
// differ from their defaults, and the deltas written into its [System] section (after the
// section's last line; lines of these names there, any Delta<k> line, and any Signature
// line, are dropped), and a new signature line by seed at the end. The text's own line
// breaks are kept; new lines take the text's first kind (CR LF when it has none). False,
// with problem set, when text has no [System] section or signing fails.
bool SignConfig(std::string_view text, const TOfferValues& values, std::string_view seed, std::string& signedText,
                std::string& problem);

}  // namespace offer
