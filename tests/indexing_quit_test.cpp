// "Aktualisieren" on the headless window layer, and quitting while the run walks or
// merges.
#include <gtest/gtest.h>

#include "app/handlers.h"
#include "app/indexing_run_testing.h"
#include "app/object_numbers.h"
#include "app/shell.h"
#include "index/indexing.h"
#include "search/window/search_window.h"
#include "settings/settings.h"
#include "test_support.h"
#include "tests/support/headless_ui.h"

namespace tandrel::app {
namespace {

class IndexingQuitTest : public test::ScratchCurrentFolder {
 protected:
  void SetUp() override {
    ScratchCurrentFolder::SetUp();
    ui_.OpenWindow(kMainWindow, ui::WindowStyle::kMain, "Tandrel", 900, 600);
    ui_.AddStatusBar(kMainWindow, {120, 120, 120, -1});
    ui_.AddTrayIcon(kMainWindow, kTrayIdleIcon, "Tandrel");
    ui_.DefinePopupMenu(kMainMenu, {{kItemManageFolders, "Ordner verwalten"},
                                    {kItemUpdateIndex, "Aktualisieren"},
                                    {kItemProgramUpdate, "Progammaktualisierung"}});
    tree_ = Path("tree");
    ASSERT_TRUE(platform::CreateFolder(tree_));
    for (int d = 0; d < 10; ++d) {
      const std::string folder = tree_ + platform::kPathSeparator + "d" + std::to_string(d);
      ASSERT_TRUE(platform::CreateFolder(folder));
      for (int f = 0; f < 50; ++f) {
        ASSERT_TRUE(test::WriteWholeFile(folder + platform::kPathSeparator + std::to_string(f), ""));
      }
    }
    settings::IndexedFolders.fill(tree_);  // 101 slots of 510 entries: a walk and merge that last
    ASSERT_TRUE(test::WriteWholeFile(index::kIndexFileName, old_));
  }
  void TearDown() override {
    WaitForTheRunToEnd();
    settings::IndexedFolders.fill(std::string());
    ScratchCurrentFolder::TearDown();
  }
  // Until the run has ended and what it posted is shown.
  void WaitForTheRunToEnd() {
    WaitForIndexingRuns();
    ui_.ApplyPosted();
  }
  std::string tree_;
  ui::HeadlessUi ui_;
  const std::string old_ = std::string("alt.txt\r\nC:\\\r\n") + '\0';
};

TEST_F(IndexingQuitTest, AktualisierenRebuildsTheIndexAndShowsItsSteps) {
  ASSERT_TRUE(DispatchEvent(ui_, ui::MenuEvent(kMainWindow, kItemUpdateIndex)));
  EXPECT_EQ(index::IndexRunActive.load(), 1) << "set before the run's thread starts";
  ASSERT_TRUE(test::WaitUntil([&] {
    ui_.ApplyPosted();
    return ui_.TrayImage() == kTrayBusyIcon;
  })) << "the tray never showed the run";
  EXPECT_FALSE(ui_.MenuItemEnabled(kItemManageFolders));
  EXPECT_FALSE(ui_.MenuItemEnabled(kItemUpdateIndex));
  EXPECT_FALSE(ui_.MenuItemEnabled(kItemProgramUpdate));
  WaitForTheRunToEnd();
  EXPECT_EQ(ui_.StatusText(kProgressField).substr(0, 40),
            "\tIndexierung erfolgreich: 50500 Dateien ");
  EXPECT_EQ(ui_.StatusText(kStateField), "\tFertig!");
  EXPECT_EQ(ui_.TrayTooltip(), "Tandrel");
  EXPECT_TRUE(ui_.MenuItemEnabled(kItemManageFolders));
  EXPECT_TRUE(ui_.MenuItemEnabled(kItemUpdateIndex));
  EXPECT_TRUE(ui_.MenuItemEnabled(kItemProgramUpdate));
  EXPECT_EQ(index::IndexEntryCount(), 101 * 510);
  EXPECT_EQ(search_window::LastQuery(), "");
  EXPECT_FALSE(test::FileExists(index::kWalkFileName));
}

TEST_F(IndexingQuitTest, QuittingDuringTheWalkDeletesTheWalkFileAndKeepsTheOldIndex) {
  index::IndexFileCount.store(0);
  StartIndexingRun(ui_);
  ASSERT_TRUE(test::WaitUntil([] { return index::IndexTempFile.IsOpen() && index::IndexFileCount.load() >= 100; }))
      << "the walk never got under way";
  QuitProgram(ui_);
  ASSERT_EQ(index::IndexMerging.load(), 0) << "the tree is walked for longer than this";
  EXPECT_FALSE(test::FileExists(index::kWalkFileName));
  EXPECT_EQ(test::ReadWholeFile(index::kIndexFileName), old_);
  // The run carries on to its end without a walk file, leaves db.db alone and says so.
  WaitForTheRunToEnd();
  EXPECT_EQ(ui_.StatusText(kProgressField), std::string("\t") + index::kIndexRunFailedText);
  EXPECT_EQ(test::ReadWholeFile(index::kIndexFileName), old_);
  EXPECT_FALSE(test::FileExists(index::kWalkFileName));
}

TEST_F(IndexingQuitTest, QuittingDuringTheMergeWaitsUntilTheNewIndexIsInPlace) {
  StartIndexingRun(ui_);
  ASSERT_TRUE(test::WaitUntil([] { return index::IndexMerging.load() != 0; }, 60000, 0)) << "no merge began";
  QuitProgram(ui_);
  EXPECT_EQ(index::IndexRunActive.load(), 0);
  platform::File index(index::kIndexFileName, platform::OpenMode::kRead);
  std::int32_t records = 0;
  index::IndexEntry entry;
  while (!index.AtEnd()) {
    index::ReadIndexRecord(index, entry);
    ++records;
  }
  EXPECT_EQ(records, 101 * 510);
}

}  // namespace
}  // namespace tandrel::app
