#include <gtest/gtest.h>

#include "test_support.h"
#include "updater/release.h"
#include "updater/update_public_key.h"

namespace tandrel::updater {
namespace {

std::vector<std::uint8_t> ByteVector(std::string_view text) { return {text.begin(), text.end()}; }

TEST(Release, FileListLinesEndLikeTheUpdatersAndEmptyLinesStay) {
  using Names = std::vector<std::string>;
  EXPECT_EQ(SplitFileList(ByteVector("a.exe\r\n\r\nsub\\b.dll\r\n")), (Names{"a.exe", "", "sub\\b.dll"}));
  EXPECT_EQ(SplitFileList(ByteVector(std::string_view("a\rb\nc\0d", 7))), (Names{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitFileList(ByteVector("x\n\r\ny")), (Names{"x", "", "y"}));
  EXPECT_TRUE(SplitFileList({}).empty());
}

TEST(Release, NamesThatCouldLeaveTheProgramFolderOrOpenADeviceAreRefused) {
  for (const char* good : {"Tandrel.exe", "version", "sub\\data.bin", "sub/data.bin", "console",
                           "COM10", "COM\xB9x", "a.b.c", "\xC4rger.txt", "a b.txt"}) {
    EXPECT_TRUE(IsSafePackageName(good)) << good;
  }
  for (const char* bad : {"", "..", "..\\x", "a\\..\\b", "a..b", "\\x", "/x", "C:\\x", "C:x", "a:b",
                          "con", "CON", "nul.txt", "sub\\aux", "Com1", "lpt9.log", "prn ", "a\tb",
                          "a\x7f", "sub\\\\x", "sub\\", "CONOUT$",
                          // Windows takes superscript digits for device numbers too.
                          "COM\xB9", "lpt\xB2.log", "Com\xB3.tar.gz", "sub\\LPT\xB9",
                          // It drops a name's trailing dots and spaces: another name for the same file.
                          "Tandrel.exe.", "Tandrel.exe ", "sub.\\x", "sub \\x", ".", "sub\\.\\x",
                          "a<b", "a>b", "a\"b", "a|b", "a?b", "a*b",
                          // The updater's own bookkeeping.
                          "version.serial", "VERSION.SERIAL", "update.journal", "x.tdl-new", "sub\\X.TDL-OLD"}) {
    EXPECT_FALSE(IsSafePackageName(bad)) << bad;
  }
}

TEST(Release, VersionTextsHaveThreePartsUpTo127) {
  const auto v = ParseVersionText("1.3.10");
  ASSERT_TRUE(v.has_value());
  EXPECT_EQ(v->major, 1);
  EXPECT_EQ(v->minor, 3);
  EXPECT_EQ(v->build, 10);
  EXPECT_EQ(ParseVersionText("127.0.0")->major, 127);
  for (const char* bad : {"", "1.3", "1.3.9.1", "1.3.128", "1..3", "a.b.c", "1.3.9 ", "-1.3.9"}) {
    EXPECT_FALSE(ParseVersionText(bad).has_value()) << bad;
  }
}

std::vector<std::uint8_t> ReleaseFile(const char* name) {
  const std::string text = test::ReadWholeFile(std::string(TANDREL_TEST_RELEASE) + name);
  return {text.begin(), text.end()};
}

TEST(Release, DescriptionLinesMustStandInTheirPlace) {
  const std::string head = std::string("\x01\x04\x00", 3) + std::string(32, 'a') + "\r\n-notes\r\nsha256 " +
                           std::string(64, 'b') + "\r\nsig 0a\r\n";
  const auto with = [&](std::string_view fields, std::string_view last = "sig 0b\r\n") {
    return head + std::string(fields) + std::string(last);
  };
  const std::string fields = "serial 12\r\nexpires 4102444800\r\nlength 99\r\n";
  const auto good = ParseReleaseDescription(with(fields));
  ASSERT_TRUE(good);
  EXPECT_EQ(good->notes, "-notes");
  EXPECT_EQ(good->serial, 12u);
  EXPECT_EQ(good->expires, 4102444800);
  EXPECT_EQ(good->length, 99u);
  EXPECT_EQ(good->first_signed_size, head.size() - 8);
  EXPECT_EQ(good->signed_size, head.size() + fields.size());
  EXPECT_EQ(good->signature, std::vector<std::uint8_t>{0x0b});
  // One spelling per number, every line in its place, and nothing after the signature.
  for (const char* bad : {"serial 012\r\nexpires 4102444800\r\nlength 99\r\n",
                          "serial 0\r\nexpires 4102444800\r\nlength 99\r\n",
                          "serial 1234567890123456789\r\nexpires 4102444800\r\nlength 99\r\n",
                          "serial 12 \r\nexpires 4102444800\r\nlength 99\r\n",
                          "expires 4102444800\r\nserial 12\r\nlength 99\r\n",
                          "serial 12\r\nexpires 4102444800\r\n",
                          "serial 12\r\nexpires 4102444800\r\nlength 1000000001\r\n",
                          "serial 12\r\nexpires -1\r\nlength 99\r\n"}) {
    EXPECT_FALSE(ParseReleaseDescription(with(bad))) << bad;
  }
  for (const char* last : {"sig 0B\r\n", "sig 0b\n", "sig 0b\r\nx", "sig 0b", "sig \r\n", "sig 0b\r\n\r\n"}) {
    EXPECT_FALSE(ParseReleaseDescription(with(fields, last))) << last;
  }
  // Without the lines after the first signature: what updaters from before the serial read.
  EXPECT_FALSE(ParseReleaseDescription(head));
}

TEST(Release, EveryByteOfTheDescriptionAndThePackageIsChecked) {
  const std::vector<std::uint8_t> definition = ReleaseFile("version.def");
  const std::vector<std::uint8_t> package = ReleaseFile("update.pak");
  ASSERT_GT(definition.size(), 1000u);
  const std::vector<platform::RsaPublicKey> keys = UpdatePublicKeys();
  constexpr std::int64_t kNow = 1'700'000'000;
  ASSERT_EQ(CheckReleaseDescription(definition, package, keys, kNow), ReleaseCheck::kAuthentic);
  for (std::size_t at = 0; at < definition.size(); ++at) {
    std::vector<std::uint8_t> changed = definition;
    changed[at] ^= 0x20;
    EXPECT_NE(CheckReleaseDescription(changed, package, keys, kNow), ReleaseCheck::kAuthentic) << at;
  }
  for (std::size_t at = 0; at < package.size(); at += 7) {
    std::vector<std::uint8_t> changed = package;
    changed[at] ^= 0x01;
    EXPECT_EQ(CheckReleaseDescription(definition, changed, keys, kNow), ReleaseCheck::kPackageMismatch) << at;
  }
  std::vector<std::uint8_t> longer = definition;
  longer.push_back('x');
  EXPECT_EQ(CheckReleaseDescription(longer, package, keys, kNow), ReleaseCheck::kMalformed);
  EXPECT_EQ(CheckReleaseDescription(std::span(definition).first(3), package, keys, kNow), ReleaseCheck::kMalformed);
  std::vector<std::uint8_t> junk_after = package;
  junk_after.push_back(0);
  EXPECT_EQ(CheckReleaseDescription(definition, junk_after, keys, kNow), ReleaseCheck::kPackageMismatch);

  const auto fields = ParseReleaseDescription({reinterpret_cast<const char*>(definition.data()), definition.size()});
  ASSERT_TRUE(fields);
  EXPECT_EQ(CheckReleaseDescription(definition, package, keys, fields->expires - 1), ReleaseCheck::kAuthentic);
  EXPECT_EQ(CheckReleaseDescription(definition, package, keys, fields->expires), ReleaseCheck::kExpired);
}

// The committed release is signed with the test key, which only a test build trusts. A
// build configured with other keys refuses it; one that carries it as its next key, as a
// build does while keys are rotated, takes it.
TEST(Release, OnlyASignatureByTheCurrentOrTheNextKeyOfTheBuildCounts) {
  const std::vector<std::uint8_t> definition = ReleaseFile("version.def");
  const std::vector<std::uint8_t> package = ReleaseFile("update.pak");
  const std::vector<platform::RsaPublicKey> test_build = UpdatePublicKeys();
  ASSERT_EQ(test_build.size(), 1u);
  const platform::RsaPublicKey test_key = test_build[0];
  platform::RsaPublicKey users_key = test_key;
  users_key.modulus[17] ^= 1;
  platform::RsaPublicKey users_next_key = test_key;
  users_next_key.modulus[40] ^= 1;

  using Keys = std::vector<platform::RsaPublicKey>;
  constexpr std::int64_t kNow = 1'700'000'000;
  EXPECT_EQ(CheckReleaseDescription(definition, package, Keys{users_key}, kNow),
            ReleaseCheck::kBadSignature);
  EXPECT_EQ(CheckReleaseDescription(definition, package, Keys{users_key, users_next_key}, kNow),
            ReleaseCheck::kBadSignature);
  EXPECT_EQ(CheckReleaseDescription(definition, package, Keys{}, kNow), ReleaseCheck::kBadSignature);
  EXPECT_EQ(CheckReleaseDescription(definition, package, Keys{users_key, test_key}, kNow),
            ReleaseCheck::kAuthentic);
}

}  // namespace
}  // namespace tandrel::updater
