// CryptoAPI with the AES provider in verify-only context: MD5, SHA-256 and signature
// checks need no key container, and the provider ships with every Windows (and Wine).
// CNG is avoided on purpose: under Wine its signature calls rest on the host's gnutls.
#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstring>

#include "platform/crypto.h"
#include "platform/win32/handles.h"

namespace tandrel::platform {
namespace {

// Largest piece handed to CryptHashData, whose length is a DWORD.
constexpr std::size_t kHashPiece = 1u << 30;

win32::CryptProvider AcquireProvider() {
  HCRYPTPROV provider = 0;
  if (!CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
    return win32::CryptProvider();
  }
  return win32::CryptProvider(provider);
}

win32::CryptHash CreateHash(const win32::CryptProvider& provider, ALG_ID algorithm) {
  HCRYPTHASH hash = 0;
  if (!provider || !CryptCreateHash(provider.get(), algorithm, 0, 0, &hash)) return win32::CryptHash();
  return win32::CryptHash(hash);
}

bool AddToHash(const win32::CryptHash& hash, std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    const std::size_t piece = std::min(bytes.size(), kHashPiece);
    if (!CryptHashData(hash.get(), bytes.data(), static_cast<DWORD>(piece), 0)) return false;
    bytes = bytes.subspan(piece);
  }
  return true;
}

// A PUBLICKEYBLOB: the blob header, RSAPUBKEY, then the modulus in little-endian order.
std::vector<BYTE> PublicKeyBlob(const RsaPublicKey& key) {
  BLOBHEADER header{};
  header.bType = PUBLICKEYBLOB;
  header.bVersion = CUR_BLOB_VERSION;
  header.aiKeyAlg = CALG_RSA_SIGN;
  RSAPUBKEY rsa{};
  rsa.magic = 0x31415352;  // "RSA1": a public key
  rsa.bitlen = static_cast<DWORD>(key.modulus.size() * 8);
  rsa.pubexp = key.exponent;
  std::vector<BYTE> blob(sizeof header + sizeof rsa + key.modulus.size());
  std::memcpy(blob.data(), &header, sizeof header);
  std::memcpy(blob.data() + sizeof header, &rsa, sizeof rsa);
  std::reverse_copy(key.modulus.begin(), key.modulus.end(), blob.begin() + sizeof header + sizeof rsa);
  return blob;
}

}  // namespace

struct Hash::State {
  win32::CryptProvider provider;
  win32::CryptHash hash;
  bool failed = false;
};

Hash::Hash(HashKind kind) : state_(std::make_unique<State>()) {
  state_->provider = AcquireProvider();
  state_->hash = CreateHash(state_->provider, kind == HashKind::kMd5 ? CALG_MD5 : CALG_SHA_256);
  state_->failed = !state_->hash;
}

Hash::~Hash() = default;

void Hash::Add(std::span<const std::uint8_t> bytes) {
  if (!state_->failed) state_->failed = !AddToHash(state_->hash, bytes);
}

std::optional<std::vector<std::uint8_t>> Hash::Finish() {
  if (state_->failed) return std::nullopt;
  state_->failed = true;
  std::vector<std::uint8_t> digest(64);
  DWORD size = static_cast<DWORD>(digest.size());
  if (!CryptGetHashParam(state_->hash.get(), HP_HASHVAL, digest.data(), &size, 0)) return std::nullopt;
  digest.resize(size);
  return digest;
}

bool VerifyRsaSha256(const RsaPublicKey& key, std::span<const std::uint8_t> message,
                     std::span<const std::uint8_t> signature) {
  if (key.modulus.empty() || signature.size() != key.modulus.size()) return false;
  const win32::CryptProvider provider = AcquireProvider();
  if (!provider) return false;
  const std::vector<BYTE> blob = PublicKeyBlob(key);
  HCRYPTKEY raw_key = 0;
  if (!CryptImportKey(provider.get(), blob.data(), static_cast<DWORD>(blob.size()), 0, 0, &raw_key)) return false;
  const win32::CryptKey public_key(raw_key);
  const win32::CryptHash hash = CreateHash(provider, CALG_SHA_256);
  if (!hash || !AddToHash(hash, message)) return false;
  // CryptoAPI takes signatures least significant byte first.
  std::vector<BYTE> reversed(signature.rbegin(), signature.rend());
  return CryptVerifySignatureA(hash.get(), reversed.data(), static_cast<DWORD>(reversed.size()),
                               public_key.get(), nullptr, 0) != FALSE;
}

}  // namespace tandrel::platform
