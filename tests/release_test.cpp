#include <gtest/gtest.h>

#include "test_support.h"
#include "updater/release.h"
#include "updater/update_public_key.h"

namespace tandrel::updater {
namespace {

std::vector<std::uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

TEST(Release, FileListLinesEndLikeTheUpdatersAndEmptyLinesStay) {
  using Names = std::vector<std::string>;
  EXPECT_EQ(SplitFileList(Bytes("a.exe\r\n\r\nsub\\b.dll\r\n")), (Names{"a.exe", "", "sub\\b.dll"}));
  EXPECT_EQ(SplitFileList(Bytes(std::string_view("a\rb\nc\0d", 7))), (Names{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitFileList(Bytes("x\n\r\ny")), (Names{"x", "", "y"}));
  EXPECT_TRUE(SplitFileList({}).empty());
}

TEST(Release, NamesThatCouldLeaveTheProgramFolderOrOpenADeviceAreRefused) {
  for (const char* good : {"Tandrel.exe", "version", "sub\\data.bin", "sub/data.bin", "console",
                           "COM10", "a.b.c"}) {
    EXPECT_TRUE(IsSafePackageName(good)) << good;
  }
  for (const char* bad : {"", "..", "..\\x", "a\\..\\b", "a..b", "\\x", "/x", "C:\\x", "C:x", "a:b",
                          "con", "CON", "nul.txt", "sub\\aux", "Com1", "lpt9.log", "prn ", "a\tb",
                          "a\x7f", "sub\\\\x", "sub\\", "CONOUT$"}) {
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

TEST(Release, EveryByteOfTheDescriptionAndThePackageIsChecked) {
  const std::vector<std::uint8_t> definition = ReleaseFile("version.def");
  const std::vector<std::uint8_t> package = ReleaseFile("update.pak");
  ASSERT_GT(definition.size(), 500u);
  const std::vector<platform::RsaPublicKey> keys = UpdatePublicKeys();
  ASSERT_EQ(CheckReleaseDescription(definition, package, keys), ReleaseCheck::kAuthentic);
  for (std::size_t at = 0; at < definition.size(); ++at) {
    std::vector<std::uint8_t> changed = definition;
    changed[at] ^= 0x20;
    EXPECT_NE(CheckReleaseDescription(changed, package, keys), ReleaseCheck::kAuthentic) << at;
  }
  for (std::size_t at = 0; at < package.size(); at += 7) {
    std::vector<std::uint8_t> changed = package;
    changed[at] ^= 0x01;
    EXPECT_EQ(CheckReleaseDescription(definition, changed, keys), ReleaseCheck::kPackageMismatch) << at;
  }
  std::vector<std::uint8_t> longer = definition;
  longer.push_back('x');
  EXPECT_EQ(CheckReleaseDescription(longer, package, keys), ReleaseCheck::kMalformed);
  EXPECT_EQ(CheckReleaseDescription(std::span(definition).first(3), package, keys), ReleaseCheck::kMalformed);
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
  EXPECT_EQ(CheckReleaseDescription(definition, package, Keys{users_key}),
            ReleaseCheck::kBadSignature);
  EXPECT_EQ(CheckReleaseDescription(definition, package, Keys{users_key, users_next_key}),
            ReleaseCheck::kBadSignature);
  EXPECT_EQ(CheckReleaseDescription(definition, package, Keys{}), ReleaseCheck::kBadSignature);
  EXPECT_EQ(CheckReleaseDescription(definition, package, Keys{users_key, test_key}),
            ReleaseCheck::kAuthentic);
}

}  // namespace
}  // namespace tandrel::updater
