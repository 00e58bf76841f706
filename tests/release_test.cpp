#include <gtest/gtest.h>

#include "updater/release.h"

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

}  // namespace
}  // namespace tandrel::updater
