// libcrypto through its EVP interfaces only (OpenSSL 3 deprecates the RSA_* ones).
#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include "platform/crypto.h"

namespace tandrel::platform {
namespace openssl {

// Outside the anonymous namespace: Hash::State, a type of the library, holds one.
template <typename T, void (*Free)(T*)>
struct Deleter {
  void operator()(T* p) const { Free(p); }
};

}  // namespace openssl
namespace {

using openssl::Deleter;
using Pkey = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using PkeyContext = std::unique_ptr<EVP_PKEY_CTX, Deleter<EVP_PKEY_CTX, EVP_PKEY_CTX_free>>;
using MdContext = std::unique_ptr<EVP_MD_CTX, Deleter<EVP_MD_CTX, EVP_MD_CTX_free>>;
using Bignum = std::unique_ptr<BIGNUM, Deleter<BIGNUM, BN_free>>;
using ParamBuild = std::unique_ptr<OSSL_PARAM_BLD, Deleter<OSSL_PARAM_BLD, OSSL_PARAM_BLD_free>>;
using Params = std::unique_ptr<OSSL_PARAM, Deleter<OSSL_PARAM, OSSL_PARAM_free>>;
void FreeBio(BIO* bio) { BIO_free(bio); }
using Bio = std::unique_ptr<BIO, Deleter<BIO, FreeBio>>;

Pkey PublicKeyOf(const RsaPublicKey& key) {
  Bignum n(BN_bin2bn(key.modulus.data(), static_cast<int>(key.modulus.size()), nullptr));
  Bignum e(BN_new());
  ParamBuild build(OSSL_PARAM_BLD_new());
  if (!n || !e || !build || BN_set_word(e.get(), key.exponent) != 1 ||
      OSSL_PARAM_BLD_push_BN(build.get(), OSSL_PKEY_PARAM_RSA_N, n.get()) != 1 ||
      OSSL_PARAM_BLD_push_BN(build.get(), OSSL_PKEY_PARAM_RSA_E, e.get()) != 1) {
    return nullptr;
  }
  Params params(OSSL_PARAM_BLD_to_param(build.get()));
  PkeyContext context(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
  EVP_PKEY* pkey = nullptr;
  if (!params || !context || EVP_PKEY_fromdata_init(context.get()) != 1 ||
      EVP_PKEY_fromdata(context.get(), &pkey, EVP_PKEY_PUBLIC_KEY, params.get()) != 1) {
    return nullptr;
  }
  return Pkey(pkey);
}

Pkey PrivateKeyOf(std::string_view pem) {
  Bio bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  if (!bio) return nullptr;
  return Pkey(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
}

std::optional<std::string> BioText(BIO* bio) {
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio, &data);
  if (size <= 0) return std::nullopt;
  return std::string(data, static_cast<std::size_t>(size));
}

std::optional<RsaKeyPair> PairOf(EVP_PKEY* pkey) {
  if (EVP_PKEY_get_base_id(pkey) != EVP_PKEY_RSA) return std::nullopt;
  Bio private_bio(BIO_new(BIO_s_mem()));
  Bio public_bio(BIO_new(BIO_s_mem()));
  if (!private_bio || !public_bio ||
      PEM_write_bio_PrivateKey(private_bio.get(), pkey, nullptr, nullptr, 0, nullptr, nullptr) != 1 ||
      PEM_write_bio_PUBKEY(public_bio.get(), pkey) != 1) {
    return std::nullopt;
  }
  BIGNUM* n = nullptr;
  BIGNUM* e = nullptr;
  if (EVP_PKEY_get_bn_param(pkey, OSSL_PKEY_PARAM_RSA_N, &n) != 1) return std::nullopt;
  Bignum owned_n(n);
  if (EVP_PKEY_get_bn_param(pkey, OSSL_PKEY_PARAM_RSA_E, &e) != 1) return std::nullopt;
  Bignum owned_e(e);
  if (BN_num_bytes(e) > 4) return std::nullopt;
  RsaKeyPair pair;
  auto private_pem = BioText(private_bio.get());
  auto public_pem = BioText(public_bio.get());
  if (!private_pem || !public_pem) return std::nullopt;
  pair.private_pem = *private_pem;
  pair.public_pem = *public_pem;
  pair.public_key.modulus.resize(static_cast<std::size_t>(BN_num_bytes(n)));
  BN_bn2bin(n, pair.public_key.modulus.data());
  pair.public_key.exponent = static_cast<std::uint32_t>(BN_get_word(e));
  return pair;
}

}  // namespace

struct Hash::State {
  std::unique_ptr<EVP_MD_CTX, openssl::Deleter<EVP_MD_CTX, EVP_MD_CTX_free>> context;
  bool failed = false;
};

Hash::Hash(HashKind kind) : state_(std::make_unique<State>()) {
  state_->context.reset(EVP_MD_CTX_new());
  const EVP_MD* md = kind == HashKind::kMd5 ? EVP_md5() : EVP_sha256();
  state_->failed = !state_->context || EVP_DigestInit_ex(state_->context.get(), md, nullptr) != 1;
}

Hash::~Hash() = default;

void Hash::Add(std::span<const std::uint8_t> bytes) {
  if (state_->failed || bytes.empty()) return;
  state_->failed = EVP_DigestUpdate(state_->context.get(), bytes.data(), bytes.size()) != 1;
}

std::optional<std::vector<std::uint8_t>> Hash::Finish() {
  if (state_->failed) return std::nullopt;
  state_->failed = true;
  std::vector<std::uint8_t> digest(EVP_MAX_MD_SIZE);
  unsigned size = 0;
  if (EVP_DigestFinal_ex(state_->context.get(), digest.data(), &size) != 1) return std::nullopt;
  digest.resize(size);
  return digest;
}

bool VerifyRsaSha256(const RsaPublicKey& key, std::span<const std::uint8_t> message,
                     std::span<const std::uint8_t> signature) {
  if (key.modulus.empty() || signature.size() != key.modulus.size()) return false;
  Pkey pkey = PublicKeyOf(key);
  MdContext context(EVP_MD_CTX_new());
  EVP_PKEY_CTX* pkey_context = nullptr;
  if (!pkey || !context ||
      EVP_DigestVerifyInit(context.get(), &pkey_context, EVP_sha256(), nullptr, pkey.get()) != 1 ||
      EVP_PKEY_CTX_set_rsa_padding(pkey_context, RSA_PKCS1_PADDING) != 1) {
    return false;
  }
  return EVP_DigestVerify(context.get(), signature.data(), signature.size(), message.data(), message.size()) == 1;
}

std::optional<RsaKeyPair> GenerateRsaKey(int bits) {
  Pkey pkey(EVP_RSA_gen(static_cast<unsigned>(bits)));
  if (!pkey) return std::nullopt;
  return PairOf(pkey.get());
}

std::optional<RsaKeyPair> ReadRsaPrivateKey(std::string_view private_pem) {
  Pkey pkey = PrivateKeyOf(private_pem);
  if (!pkey) return std::nullopt;
  return PairOf(pkey.get());
}

std::optional<std::vector<std::uint8_t>> SignRsaSha256(std::string_view private_pem,
                                                       std::span<const std::uint8_t> message) {
  Pkey pkey = PrivateKeyOf(private_pem);
  MdContext context(EVP_MD_CTX_new());
  EVP_PKEY_CTX* pkey_context = nullptr;
  if (!pkey || EVP_PKEY_get_base_id(pkey.get()) != EVP_PKEY_RSA || !context ||
      EVP_DigestSignInit(context.get(), &pkey_context, EVP_sha256(), nullptr, pkey.get()) != 1 ||
      EVP_PKEY_CTX_set_rsa_padding(pkey_context, RSA_PKCS1_PADDING) != 1) {
    return std::nullopt;
  }
  std::size_t size = 0;
  if (EVP_DigestSign(context.get(), nullptr, &size, message.data(), message.size()) != 1) return std::nullopt;
  std::vector<std::uint8_t> signature(size);
  if (EVP_DigestSign(context.get(), signature.data(), &size, message.data(), message.size()) != 1) {
    return std::nullopt;
  }
  signature.resize(size);
  return signature;
}

}  // namespace tandrel::platform
