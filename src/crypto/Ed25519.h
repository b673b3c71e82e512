// Ed25519 signatures (pure EdDSA over edwards25519, as RFC 8032 defines it) through
// libgcrypt, so that signatures made here verify with any other implementation and the
// other way round. Keys and signatures are raw bytes: a 32-byte secret seed, a 32-byte
// public key and a 64-byte signature. Thread-safe.
#pragma once

#include <string>
#include <string_view>

namespace crypto {

constexpr size_t kEd25519SeedSize = 32;
constexpr size_t kEd25519PublicKeySize = 32;
constexpr size_t kEd25519SignatureSize = 64;

// A new key pair from the library's strong random source, its public key usable. False, with error set, when
// the library cannot make one.
bool Ed25519Generate(std::string& seed, std::string& publicKey, std::string& error);

// The public key that belongs to seed; false when seed is not 32 bytes.
bool Ed25519PublicKey(std::string_view seed, std::string& publicKey);

// The signature of message by seed; empty when seed is not 32 bytes or signing fails.
std::string Ed25519Sign(std::string_view seed, std::string_view message);

// True when publicKey is 32 bytes that encode a point a signature can be verified against:
// canonically encoded (y below 2^255 - 19), on the curve, and none of the points (degenerate ones, and the very rare
// ones with a short coordinate) on which libgcrypt would abort the process. Keys from Ed25519Generate always are.
bool Ed25519UsablePublicKey(std::string_view publicKey);

// True only when signature (64 bytes) is a valid signature of message by publicKey
// (32 bytes) as RFC 8032 verifies it: S below the group order, R and the key canonical
// point encodings. Any malformed key or signature is simply not valid, so a signature
// has exactly one valid form.
bool Ed25519Verify(std::string_view publicKey, std::string_view message, std::string_view signature);

}  // namespace crypto
