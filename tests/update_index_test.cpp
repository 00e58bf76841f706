// "Aktualisieren" on the headless window layer when the folder list is not what it seems:
// a settings.conf that cannot be written or not be read, and folders that cannot be
// listed. The index there is must never give way to an empty one.
#include <gtest/gtest.h>

#include <filesystem>

#include "dialog_test_support.h"
#include "indexing_support.h"

namespace tandrel::app {
namespace {

class UpdateIndexTest : public test::DialogTest {
 protected:
  void SetUp() override {
    test::DialogTest::SetUp();
    tree_ = Path("tree");
    ASSERT_TRUE(platform::CreateFolder(tree_));
    ASSERT_TRUE(test::WriteWholeFile(tree_ + platform::kPathSeparator + "neu.txt", "n"));
    ASSERT_TRUE(test::WriteWholeFile(index::kIndexFileName, old_));
  }
  // Chooses "Aktualisieren" and shows what the run posted once it has ended.
  void UpdateIndex() {
    Choose(kItemUpdateIndex, kMainWindow);
    WaitForIndexingRuns();
    ui_.ApplyPosted();
  }
  std::string tree_;
  const std::string old_ = std::string("alt.txt\r\nC:\\\r\n") + '\0';
};

TEST_F(UpdateIndexTest, ASettingsFileThatCannotBeWrittenIsWalkedAndOneThatCannotBeReadIsNot) {
  ASSERT_TRUE(test::WriteWholeFile(settings::kSettingsFileName, "0\r\n" + tree_ + "\r\n"));
  {
    test::ReadOnlyForThisThread read_only(settings::kSettingsFileName);
    settings::ReadSettings();  // as at start-up
  }
  UpdateIndex();
  EXPECT_EQ(test::ReadWholeFile(index::kIndexFileName), std::string("neu.txt\r\n") + tree_ + "\r\n" + '\0');
  EXPECT_TRUE(ui_.MessageBoxes().empty());

  // Unreadable at start-up and still when the run is asked for: nothing runs.
  ASSERT_TRUE(test::WriteWholeFile(index::kIndexFileName, old_));
  ASSERT_TRUE(platform::RemoveFile(settings::kSettingsFileName));
  ASSERT_TRUE(platform::CreateFolder(settings::kSettingsFileName));
  settings::ReadSettings();
  Choose(kItemUpdateIndex, kMainWindow);
  EXPECT_EQ(index::IndexRunActive.load(), 0) << "no run started";
  WaitForIndexingRuns();
  EXPECT_EQ(test::ReadWholeFile(index::kIndexFileName), old_);
  ASSERT_EQ(ui_.MessageBoxes().size(), 1u);
  EXPECT_EQ(ui_.MessageBoxes()[0], std::make_pair(std::string("Fehler"), std::string(kSettingsUnreadableText)));

  // Readable again by the next "Aktualisieren": read anew and walked.
  std::filesystem::remove(settings::kSettingsFileName);
  ASSERT_TRUE(test::WriteWholeFile(settings::kSettingsFileName, "0\r\n" + tree_ + "\r\n"));
  UpdateIndex();
  EXPECT_EQ(test::ReadRecords(index::kIndexFileName).size(), 1u);
  EXPECT_EQ(ui_.MessageBoxes().size(), 1u);
}

TEST_F(UpdateIndexTest, ARunThatCannotListAnyFolderKeepsTheIndexAndSaysSo) {
  settings::IndexedFolders[0] = Path("unplugged");
  settings::IndexedFolders[7] = Path("offline");
  UpdateIndex();
  EXPECT_EQ(test::ReadWholeFile(index::kIndexFileName), old_);
  EXPECT_EQ(ui_.StatusText(kProgressField), std::string("\t") + index::kIndexRunFailedText);
  EXPECT_EQ(ui_.StatusText(kStateField), "\tFertig!");
  EXPECT_TRUE(ui_.MenuItemEnabled(kItemUpdateIndex));
  EXPECT_EQ(ui_.TrayImage(), kTrayIdleIcon);

  settings::IndexedFolders[3] = tree_;
  UpdateIndex();
  EXPECT_EQ(test::ReadRecords(index::kIndexFileName).size(), 1u) << "one folder listed is enough";
  EXPECT_TRUE(ui_.StatusText(kProgressField).starts_with("\tIndexierung erfolgreich: 1 Dateien in "));
}

}  // namespace
}  // namespace tandrel::app
