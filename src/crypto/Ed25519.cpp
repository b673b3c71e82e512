#include "crypto/Ed25519.h"

#include <gcrypt.h>

#include "crypto/Gcrypt.h"

namespace crypto {
namespace {

// Owns one S-expression.
struct TSexp {
  gcry_sexp_t P = nullptr;
  TSexp() = default;
  TSexp(const TSexp&) = delete;
  TSexp& operator=(const TSexp&) = delete;
  ~TSexp() { gcry_sexp_release(P); }
};

int Len(std::string_view s) { return static_cast<int>(s.size()); }

// The bytes of the first value of token inside sexp, or empty.
std::string TokenBytes(gcry_sexp_t sexp, const char* token) {
  TSexp item;
  item.P = gcry_sexp_find_token(sexp, token, 0);
  if (!item.P) return {};
  size_t n = 0;
  const char* data = gcry_sexp_nth_data(item.P, 1, &n);
  return data ? std::string(data, n) : std::string();
}

// The message as the signing data of pure Ed25519 (the "eddsa" flag; SHA-512 inside).
bool MessageSexp(std::string_view message, TSexp& data) {
  return !gcry_sexp_build(&data.P, nullptr, "(data(flags eddsa)(hash-algo sha512)(value %b))", Len(message),
                          message.data());
}

// A public key libgcrypt can verify against. libgcrypt 1.10 aborts the process (its
// field multiplication demands full-width operands) when a key's point has a coordinate
// of fewer than 225 bits: the identity and the points of order 2 and 4 (a coordinate is
// zero), and any other point with a short coordinate. Such points are refused before any
// arithmetic on them; a real key has one with a chance of about 2^-29, and keygen makes
// only usable ones. The rest must be on the curve.
constexpr unsigned int kMinCoordinateBits = 225;

bool UsablePoint(std::string_view publicKey) {
  TSexp key;
  if (gcry_sexp_build(&key.P, nullptr, "(public-key(ecc(curve Ed25519)(flags eddsa)(q %b)))", Len(publicKey),
                      publicKey.data()))
    return false;
  gcry_ctx_t ctx = nullptr;
  if (gcry_mpi_ec_new(&ctx, key.P, nullptr)) return false;
  bool usable = false;
  gcry_mpi_point_t q = gcry_mpi_ec_get_point("q", ctx, 1);
  gcry_mpi_t x = gcry_mpi_new(0), y = gcry_mpi_new(0), z = gcry_mpi_new(0);
  // The decoded point's own coordinates (no arithmetic: that is what aborts) come first.
  if (q) {
    gcry_mpi_point_get(x, y, z, q);
    usable = gcry_mpi_get_nbits(x) >= kMinCoordinateBits && gcry_mpi_get_nbits(y) >= kMinCoordinateBits &&
             gcry_mpi_cmp_ui(z, 1) == 0 && gcry_mpi_ec_curve_point(q, ctx);
  }
  gcry_mpi_release(x);
  gcry_mpi_release(y);
  gcry_mpi_release(z);
  gcry_mpi_point_release(q);
  gcry_ctx_release(ctx);
  return usable;
}

// The group order L = 2^252 + 27742317777372353535851937790883648493 and the field prime
// p = 2^255 - 19, little-endian as the encodings are.
constexpr unsigned char kOrder[32] = {0xED, 0xD3, 0xF5, 0x5C, 0x1A, 0x63, 0x12, 0x58, 0xD6, 0x9C, 0xF7,
                                      0xA2, 0xDE, 0xF9, 0xDE, 0x14, 0,    0,    0,    0,    0,    0,
                                      0,    0,    0,    0,    0,    0,    0,    0,    0,    0x10};
constexpr unsigned char kPrime[32] = {0xED, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                      0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                      0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F};

// -1, 0 or 1 as the 32-byte little-endian number a (top bit masked off when asked) is
// below, equal to or above b.
int Compare(std::string_view a, const unsigned char* b, bool maskTop) {
  for (int i = 31; i >= 0; --i) {
    unsigned int x = static_cast<unsigned char>(a[static_cast<size_t>(i)]);
    if (i == 31 && maskTop) x &= 0x7F;
    if (x != b[i]) return x < b[i] ? -1 : 1;
  }
  return 0;
}

// A point encoding as RFC 8032 decodes it: y below p, and no "negative" x where x is 0
// (y = 1 or y = p - 1). libgcrypt would take y >= p as y - p, so one point would have two
// encodings and a signature two forms.
bool CanonicalPoint(std::string_view encoding) {
  if (Compare(encoding, kPrime, true) >= 0) return false;
  bool negative = (static_cast<unsigned char>(encoding[31]) & 0x80) != 0;
  if (!negative) return true;
  std::string y(encoding);
  y[31] = static_cast<char>(y[31] & 0x7F);
  std::string one(32, '\0'), minusOne(reinterpret_cast<const char*>(kPrime), 32);
  one[0] = 1;
  minusOne[0] = static_cast<char>(0xEC);
  return y != one && y != minusOne;
}

}  // namespace

bool Ed25519UsablePublicKey(std::string_view publicKey) {
  return publicKey.size() == kEd25519PublicKeySize && CanonicalPoint(publicKey) && GcryptReady() &&
         UsablePoint(publicKey);
}

bool Ed25519Generate(std::string& seed, std::string& publicKey, std::string& error) {
  seed.clear();
  publicKey.clear();
  if (!GcryptReady()) {
    error = "libgcrypt is older than the version this program was built with";
    return false;
  }
  TSexp params;
  if (gcry_error_t e = gcry_sexp_build(&params.P, nullptr, "(genkey(ecc(curve Ed25519)(flags eddsa)))")) {
    error = gcry_strerror(e);
    return false;
  }
  // A key that Ed25519UsablePublicKey refuses comes once in some 2^29 pairs: make another.
  for (int attempt = 0; attempt < 8; ++attempt) {
    TSexp key;
    if (gcry_error_t e = gcry_pk_genkey(&key.P, params.P)) {
      error = gcry_strerror(e);
      return false;
    }
    seed = TokenBytes(key.P, "d");
    if (seed.size() != kEd25519SeedSize || !Ed25519PublicKey(seed, publicKey)) {
      error = "the library gave a key of an unexpected form";
      break;
    }
    if (Ed25519UsablePublicKey(publicKey)) return true;
  }
  if (error.empty()) error = "no usable key pair";
  seed.clear();
  publicKey.clear();
  return false;
}

bool Ed25519PublicKey(std::string_view seed, std::string& publicKey) {
  publicKey.clear();
  if (seed.size() != kEd25519SeedSize || !GcryptReady()) return false;
  TSexp secret;
  if (gcry_sexp_build(&secret.P, nullptr, "(private-key(ecc(curve Ed25519)(flags eddsa)(d %b)))", Len(seed),
                      seed.data()))
    return false;
  gcry_ctx_t ctx = nullptr;
  if (gcry_mpi_ec_new(&ctx, secret.P, nullptr)) return false;
  // "q@eddsa" derives the public point from d and gives it in the 32-byte EdDSA encoding.
  gcry_mpi_t q = gcry_mpi_ec_get_mpi("q@eddsa", ctx, 1);
  if (q) {
    unsigned int bits = 0;
    const void* p = gcry_mpi_get_opaque(q, &bits);
    if (p && bits == kEd25519PublicKeySize * 8) publicKey.assign(static_cast<const char*>(p), kEd25519PublicKeySize);
    gcry_mpi_release(q);
  }
  gcry_ctx_release(ctx);
  return publicKey.size() == kEd25519PublicKeySize;
}

std::string Ed25519Sign(std::string_view seed, std::string_view message) {
  std::string publicKey;
  if (!Ed25519PublicKey(seed, publicKey)) return {};
  TSexp secret, data, signature;
  if (gcry_sexp_build(&secret.P, nullptr, "(private-key(ecc(curve Ed25519)(flags eddsa)(q %b)(d %b)))", Len(publicKey),
                      publicKey.data(), Len(seed), seed.data()) ||
      !MessageSexp(message, data) || gcry_pk_sign(&signature.P, data.P, secret.P))
    return {};
  // (sig-val(eddsa(r R)(s S))): the signature is R followed by S, 32 bytes each.
  std::string r = TokenBytes(signature.P, "r"), s = TokenBytes(signature.P, "s");
  if (r.size() != 32 || s.size() != 32) return {};
  return r + s;
}

bool Ed25519Verify(std::string_view publicKey, std::string_view message, std::string_view signature) {
  if (signature.size() != kEd25519SignatureSize || !Ed25519UsablePublicKey(publicKey)) return false;
  TSexp key, data, sig;
  std::string_view r = signature.substr(0, 32), s = signature.substr(32);
  // RFC 8032 demands S < L (libgcrypt reduces S, so S + L would verify too: a second
  // valid form of every signature) and a canonical R.
  if (Compare(s, kOrder, false) >= 0 || !CanonicalPoint(r)) return false;
  if (gcry_sexp_build(&key.P, nullptr, "(public-key(ecc(curve Ed25519)(flags eddsa)(q %b)))", Len(publicKey),
                      publicKey.data()) ||
      gcry_sexp_build(&sig.P, nullptr, "(sig-val(eddsa(r %b)(s %b)))", Len(r), r.data(), Len(s), s.data()) ||
      !MessageSexp(message, data))
    return false;
  return gcry_pk_verify(sig.P, data.P, key.P) == 0;
}

}  // namespace crypto
