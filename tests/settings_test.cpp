#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "settings/settings.h"
#include "test_support.h"

namespace tandrel::settings {
namespace {

using test::ReadWholeFile;
using test::WriteWholeFile;

TEST(SettingsNumberTest, FirstLineRule) {
  struct Case {
    const char* line;
    std::int32_t value;
  };
  const Case cases[] = {
      {"", 0},          {"0", 0},         {"1", 1},          {"1;autostart", 1},
      {";1", 0},        {" \t 1", 1},     {"-12", -12},      {"+7x", 7},
      {"$1F", 31},      {"$ff", 255},     {"%101", 5},       {"%102", 2},
      {"-$10", -16},    {"abc", 0},       {"$", 0},          {"12 34", 12},
      {" - 5", 0},      {"4294967297", 1}, {"\n1", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseSettingsNumber(c.line), c.value) << '"' << c.line << '"';
}

class SettingsFileTest : public test::ScratchFolder {
 protected:
  void SetUp() override {
    test::ScratchFolder::SetUp();
    file_ = Path(kSettingsFileName);
    AutostartFlag = 0;
    IndexedFolders.fill("stale");
  }
  void TearDown() override {
    SettingsSession.Reset();
    test::ScratchFolder::TearDown();
  }
  std::vector<std::string> FilledSlots() const {
    std::vector<std::string> filled;
    for (int i = 0; i < kFolderSlotCount; ++i) {
      if (!IndexedFolders[i].empty()) filled.push_back(std::to_string(i) + "=" + IndexedFolders[i]);
    }
    return filled;
  }
  std::string file_;
};

TEST_F(SettingsFileTest, MissingFileIsCreatedEmptyAndQuitStoresTheFlag) {
  AutostartFlag = 5;
  ReadSettings(file_);
  EXPECT_TRUE(test::FileExists(file_));
  EXPECT_EQ(ReadWholeFile(file_), "");
  EXPECT_EQ(AutostartFlag, 0);
  EXPECT_TRUE(FilledSlots().empty());
  EXPECT_TRUE(StoreAutostartFlag(file_));
  EXPECT_EQ(ReadWholeFile(file_), "0\r\n");
}

TEST_F(SettingsFileTest, FoldersFillSlotsInOrderAndEmptyLinesUseASlot) {
  ASSERT_TRUE(WriteWholeFile(file_, "1;on\r\nD:\\Daten\r\n\r\nE:\\Archiv\nC:"));
  ReadSettings(file_);
  EXPECT_EQ(AutostartFlag, 1);
  EXPECT_EQ(FilledSlots(), (std::vector<std::string>{"0=D:\\Daten", "2=E:\\Archiv", "3=C:"}));
}

TEST_F(SettingsFileTest, TheReadOnlyReaderCreatesNothingAndKeepsTheProcessSettings) {
  EXPECT_FALSE(ReadSettingsFile(file_));
  EXPECT_FALSE(test::FileExists(file_));
  ASSERT_TRUE(WriteWholeFile(file_, "$10\r\nD:\\Daten\r\n\r\nE:\\Archiv\r\n"));
  const std::optional<StoredSettings> stored = ReadSettingsFile(file_);
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->autostart_flag, 16);
  EXPECT_EQ(stored->folders[0], "D:\\Daten");
  EXPECT_EQ(stored->folders[1], "");
  EXPECT_EQ(stored->folders[2], "E:\\Archiv");
  EXPECT_EQ(IndexedFolders[0], "stale");
}

TEST_F(SettingsFileTest, LinesBeyondTheLastSlotAreIgnored) {
  std::string bytes = "0\r\n";
  for (int i = 0; i < kFolderSlotCount + 20; ++i) bytes += "F" + std::to_string(i) + "\r\n";
  ASSERT_TRUE(WriteWholeFile(file_, bytes));
  ReadSettings(file_);
  const std::vector<std::string> filled = FilledSlots();
  ASSERT_EQ(filled.size(), static_cast<std::size_t>(kFolderSlotCount));
  EXPECT_EQ(filled.back(), "100=F100");
}

TEST_F(SettingsFileTest, UnopenableFileKeepsTheFlagButEmptiesTheSlots) {
  AutostartFlag = 1;
  ReadSettings(Root());  // a folder, not a file
  EXPECT_EQ(AutostartFlag, 1);
  EXPECT_TRUE(FilledSlots().empty());
}

TEST_F(SettingsFileTest, WriteSettingsRewritesEverything) {
  ASSERT_TRUE(WriteWholeFile(file_, "1\r\nold\r\nlonger old contents\r\n"));
  AutostartFlag = 1;
  EXPECT_TRUE(WriteSettings({"D:\\Daten", "E:\\Archiv", "C:"}, file_));
  EXPECT_EQ(ReadWholeFile(file_), "1\r\nD:\\Daten\r\nE:\\Archiv\r\nC:\r\n");
  AutostartFlag = 0;
  EXPECT_TRUE(WriteSettings({}, file_));
  EXPECT_EQ(ReadWholeFile(file_), "0\r\n");

  EXPECT_TRUE(WriteSettings({"X:\\\xC4nderung"}, file_));
  ReadSettings(file_);
  EXPECT_EQ(FilledSlots(), (std::vector<std::string>{"0=X:\\\xC4nderung"}));
}

TEST_F(SettingsFileTest, StoreAutostartFlagRewritesOnlyTheFirstBytes) {
  const std::string folders = "D:\\Daten\r\nE:\\Archiv";  // last line without CR LF
  ASSERT_TRUE(WriteWholeFile(file_, "0\r\n" + folders));
  ReadSettings(file_);
  AutostartFlag = 1;
  EXPECT_TRUE(StoreAutostartFlag(file_));
  EXPECT_EQ(ReadWholeFile(file_), "1\r\n" + folders);

  // A longer hand-edited first line keeps its tail, which then reads as a folder line.
  ASSERT_TRUE(WriteWholeFile(file_, "12;x\r\nD:\\Daten\r\n"));
  AutostartFlag = 0;
  EXPECT_TRUE(StoreAutostartFlag(file_));
  EXPECT_EQ(ReadWholeFile(file_), "0\r\nx\r\nD:\\Daten\r\n");
  ReadSettings(file_);
  EXPECT_EQ(FilledSlots(), (std::vector<std::string>{"0=x", "1=D:\\Daten"}));
}

TEST_F(SettingsFileTest, AFileThatCannotBeWrittenIsReadAndOneThatCannotBeReadSaysSo) {
  ASSERT_TRUE(WriteWholeFile(file_, "1\r\nD:\\Daten\r\n"));
  {
    test::ReadOnlyForThisThread read_only(file_);
    EXPECT_TRUE(ReadSettings(file_));
    AutostartFlag = 0;
    const bool stored = StoreAutostartFlag(file_);  // cannot be written: stays as it is
#ifndef _WIN32
    EXPECT_FALSE(stored);
#else
    (void)stored;  // Wine, run as the superuser, writes a read-only file all the same
#endif
  }
  EXPECT_FALSE(SettingsSession.read_failed);
  EXPECT_EQ(AutostartFlag, 0);
  EXPECT_EQ(FilledSlots(), std::vector<std::string>{"0=D:\\Daten"});
#ifndef _WIN32
  // Wine, run as the superuser, writes a read-only file all the same.
  EXPECT_EQ(ReadWholeFile(file_), "1\r\nD:\\Daten\r\n");
#endif

  EXPECT_FALSE(ReadSettings(Root()));  // a folder, not a file
  EXPECT_TRUE(SettingsSession.read_failed);
  EXPECT_TRUE(FilledSlots().empty());
}

TEST_F(SettingsFileTest, StoringTheFlagNeverTouchesAFolderLine) {
  struct Case {
    const char* what;
    std::string before;
    std::int32_t flag;
    std::string after;
  };
  const Case cases[] = {
      {"LF line ends", "1\nD:\\Daten\nE:\\Archiv\n", 0, "0\r\nD:\\Daten\nE:\\Archiv\n"},
      {"a lone CR", "0\rD:\\Daten", 1, "1\r\nD:\\Daten"},
      {"an empty line 1", "\r\nD:\\Daten\r\n", 1, "1\r\nD:\\Daten\r\n"},
      {"a longer number", "1\r\nD:\\Daten\r\n", -12345, "-12345\r\nD:\\Daten\r\n"},
      {"a NUL ends line 1", std::string("1\0D:\\Daten", 10), 1, "1\r\nD:\\Daten"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(WriteWholeFile(file_, c.before));
    AutostartFlag = c.flag;
    EXPECT_TRUE(StoreAutostartFlag(file_));
    EXPECT_EQ(ReadWholeFile(file_), c.after);
    EXPECT_FALSE(test::FileExists(file_ + ".new"));
    ReadSettings(file_);
    EXPECT_EQ(AutostartFlag, c.flag);
    EXPECT_EQ(IndexedFolders[0], "D:\\Daten");
  }
  ASSERT_TRUE(WriteWholeFile(file_, "1"));  // line 1 is the whole file
  AutostartFlag = 0;
  EXPECT_TRUE(StoreAutostartFlag(file_));
  EXPECT_EQ(ReadWholeFile(file_), "0\r\n");

  // Where the new file cannot be written beside the old one, the old one stays whole.
  ASSERT_TRUE(WriteWholeFile(file_, "1\nD:\\Daten\n"));
  ASSERT_TRUE(platform::CreateFolder(file_ + ".new"));
  AutostartFlag = 0;
  EXPECT_FALSE(StoreAutostartFlag(file_));
  EXPECT_EQ(ReadWholeFile(file_), "1\nD:\\Daten\n");
}

}  // namespace
}  // namespace tandrel::settings
