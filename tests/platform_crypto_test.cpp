#include <gtest/gtest.h>

#include <string>

#include "platform/crypto.h"
#include "updater/system_operations.h"
#include "updater/update_public_key.h"

namespace tandrel::platform {
namespace {

std::span<const std::uint8_t> Bytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string HexOf(HashKind kind, std::string_view text) {
  const auto digest = HashOf(kind, Bytes(text));
  return digest ? LowerHex(*digest) : "failed";
}

TEST(Crypto, Md5AndSha256MatchThePublishedVectors) {
  // RFC 1321, appendix A.5.
  EXPECT_EQ(HexOf(HashKind::kMd5, ""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(HexOf(HashKind::kMd5, "a"), "0cc175b9c0f1b6a831c399e269772661");
  EXPECT_EQ(HexOf(HashKind::kMd5, "abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(HexOf(HashKind::kMd5, "message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
  EXPECT_EQ(HexOf(HashKind::kMd5, "abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
  EXPECT_EQ(HexOf(HashKind::kMd5, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
            "d174ab98d277d9f5a5611c2c9f419d9f");
  EXPECT_EQ(HexOf(HashKind::kMd5,
                  "12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
            "57edf4a22be3c955ac49da2e2107b67a");
  // FIPS 180-2, appendix B.
  EXPECT_EQ(HexOf(HashKind::kSha256, "abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(HexOf(HashKind::kSha256, "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  // One million "a", fed in uneven pieces as a file read in blocks would be.
  Hash million(HashKind::kSha256);
  const std::string piece(999, 'a');
  std::size_t fed = 0;
  for (; fed + piece.size() <= 1000000; fed += piece.size()) million.Add(Bytes(piece));
  million.Add(Bytes(std::string(1000000 - fed, 'a')));
  const auto digest = million.Finish();
  ASSERT_TRUE(digest.has_value());
  EXPECT_EQ(LowerHex(*digest), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
  EXPECT_FALSE(million.Finish().has_value());
}

TEST(Crypto, HexTextsRoundTripAndRefuseOddOrForeignDigits) {
  EXPECT_EQ(ParseHex("00fFa1"), (std::vector<std::uint8_t>{0x00, 0xFF, 0xA1}));
  EXPECT_FALSE(ParseHex("abc").has_value());
  EXPECT_FALSE(ParseHex("0g").has_value());
  EXPECT_EQ(LowerHex(*ParseHex("DEADbeef")), "deadbeef");
}

// A signature made with the test key by another tool (openssl dgst -sha256 -sign).
constexpr char kMessage[] = "Tandrel signature test";
constexpr char kSignatureHex[] = "4e4632ef724f22d756d2e69cdd85cc5f63ad1c936887a3934f9cfe05118a15c08ba30109093aa6c0c08a96e5370999ca7c250db7bbd127346ac7b665076ed5438c756a98dfcba00f4f49f7ab62160459e17d783c09dc6953dec6ebb274ee44c4157fc2ee01889df1672cd6c0e79fd54f6d77e4bce3edfdc94900a0700864701035e0c549cec68c27bb338817eab830cdc382ae190a95b1951d47d577ebead0117e453fb19ee43c111ebe1ccd5f037fc9230639acf7c0078650cb2f89799341e6a426189945af000f7451e6fbe0083f39e6d2a8884a0fc3aa8a61c7cd482dd4704e4df68d6eb64a77920335d877b3cd55490f3e1b343e19d1b1c72c5547623ecb";

TEST(Crypto, SignaturesVerifyOnlyUnchanged) {
  const RsaPublicKey key = updater::UpdatePublicKeys().at(0);  // the test key
  ASSERT_EQ(key.modulus.size(), 256u);
  const std::vector<std::uint8_t> signature = *ParseHex(kSignatureHex);
  const std::string message = kMessage;
  EXPECT_TRUE(VerifyRsaSha256(key, Bytes(message), signature));

  std::string changed = message;
  changed[3] ^= 1;
  EXPECT_FALSE(VerifyRsaSha256(key, Bytes(changed), signature));
  EXPECT_FALSE(VerifyRsaSha256(key, Bytes(message + " "), signature));
  for (std::size_t at : {std::size_t{0}, std::size_t{100}, signature.size() - 1}) {
    std::vector<std::uint8_t> tampered = signature;
    tampered[at] ^= 0x40;
    EXPECT_FALSE(VerifyRsaSha256(key, Bytes(message), tampered)) << at;
  }
  EXPECT_FALSE(VerifyRsaSha256(key, Bytes(message), std::span(signature).first(255)));
  RsaPublicKey other = key;
  other.modulus[17] ^= 1;
  EXPECT_FALSE(VerifyRsaSha256(other, Bytes(message), signature));
}

// update.exe takes a signature by any key it carries (the current one, and the next one
// while keys are rotated) and by no other.
TEST(Crypto, TheUpdaterTakesASignatureByAnyOfItsKeysAndNoOther) {
  const RsaPublicKey test_key = updater::UpdatePublicKeys().at(0);
  RsaPublicKey users_key = test_key;
  users_key.modulus[17] ^= 1;
  const std::vector<std::uint8_t> signature = *ParseHex(kSignatureHex);
  const auto quiet = [](std::string_view, std::string_view) {};
  using Keys = std::vector<RsaPublicKey>;
  EXPECT_FALSE(updater::CreateSystemOperations("", Keys{users_key}, quiet)->VerifySignature(kMessage, signature));
  EXPECT_FALSE(updater::CreateSystemOperations("", Keys{}, quiet)->VerifySignature(kMessage, signature));
  EXPECT_TRUE(
      updater::CreateSystemOperations("", Keys{users_key, test_key}, quiet)->VerifySignature(kMessage, signature));
}

#ifndef _WIN32
TEST(Crypto, KeysMadeHereSignAndVerify) {
  const auto pair = GenerateRsaKey(2048);
  ASSERT_TRUE(pair.has_value());
  EXPECT_EQ(pair->public_key.modulus.size(), 256u);
  EXPECT_EQ(pair->public_key.exponent, 65537u);
  EXPECT_NE(pair->public_pem.find("PUBLIC KEY"), std::string::npos);
  const auto signature = SignRsaSha256(pair->private_pem, Bytes(kMessage));
  ASSERT_TRUE(signature.has_value());
  EXPECT_TRUE(VerifyRsaSha256(pair->public_key, Bytes(kMessage), *signature));
  EXPECT_FALSE(VerifyRsaSha256(updater::UpdatePublicKeys().at(0), Bytes(kMessage), *signature));

  const auto reread = ReadRsaPrivateKey(pair->private_pem);
  ASSERT_TRUE(reread.has_value());
  EXPECT_EQ(reread->public_key.modulus, pair->public_key.modulus);
  EXPECT_FALSE(ReadRsaPrivateKey("not a key").has_value());
  EXPECT_FALSE(SignRsaSha256(pair->public_pem, Bytes(kMessage)).has_value());
}
#endif

}  // namespace
}  // namespace tandrel::platform
