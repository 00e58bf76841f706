// Digests and RSA signatures from the operating system's own library: CryptoAPI on
// Windows, libcrypto on Linux. Verification exists on both; making keys and signing is
// the publisher's business and exists only on Linux.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tandrel::platform {

enum class HashKind { kMd5, kSha256 };

// A digest fed piece by piece. Finish gives the digest, or nothing when the library
// failed at any step; the object is spent afterwards.
class Hash {
 public:
  explicit Hash(HashKind kind);
  ~Hash();
  Hash(const Hash&) = delete;
  Hash& operator=(const Hash&) = delete;

  void Add(std::span<const std::uint8_t> bytes);
  std::optional<std::vector<std::uint8_t>> Finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

std::optional<std::vector<std::uint8_t>> HashOf(HashKind kind, std::span<const std::uint8_t> bytes);

// Lower-case hexadecimal, two digits per byte.
std::string LowerHex(std::span<const std::uint8_t> bytes);
// The bytes of an even-length hexadecimal text (either case); nothing for anything else.
std::optional<std::vector<std::uint8_t>> ParseHex(std::string_view hex);

// An RSA public key: the modulus as big-endian bytes and the public exponent.
struct RsaPublicKey {
  std::vector<std::uint8_t> modulus;
  std::uint32_t exponent = 0;
};

// True when `signature` (big-endian, as long as the modulus) is a PKCS#1 v1.5 signature
// with SHA-256 over `message` under `key`.
bool VerifyRsaSha256(const RsaPublicKey& key, std::span<const std::uint8_t> message,
                     std::span<const std::uint8_t> signature);

#ifndef _WIN32
struct RsaKeyPair {
  std::string private_pem;
  std::string public_pem;
  RsaPublicKey public_key;
};

std::optional<RsaKeyPair> GenerateRsaKey(int bits);
// The key pair of a private key in PEM form.
std::optional<RsaKeyPair> ReadRsaPrivateKey(std::string_view private_pem);
std::optional<std::vector<std::uint8_t>> SignRsaSha256(std::string_view private_pem,
                                                       std::span<const std::uint8_t> message);
#endif

}  // namespace tandrel::platform
