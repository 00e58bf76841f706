// The folder management dialog on the headless window layer, driven through the event
// loop's dispatch as a user would drive it.
#include <gtest/gtest.h>

#include "dialog_test_support.h"

namespace tandrel::app {
namespace {

using ui::HeadlessUi;

class FolderDialogTest : public test::DialogTest {
 protected:
  void OpenDialog() { Choose(kItemManageFolders, kMainWindow); }
  void Add(const std::string& tree_path) {
    ui_.SelectTreeFolder(kFolderDialog, kFolderTree, tree_path);
    RightClick(kFolderDialog, kFolderTree);
    Choose(kItemAddFolder, kFolderDialog);
  }
  void RemoveRow(std::int32_t row) {
    ui_.SelectRow(kFolderDialog, kFolderList, row);
    RightClick(kFolderDialog, kFolderList);
    Choose(kItemRemoveFolder, kFolderDialog);
  }
  static std::string ManyFolders(int count) {
    std::string lines = "0\r\n";
    for (int i = 0; i < count; ++i) lines += "D:\\F" + std::to_string(i) + "\r\n";
    return lines;
  }
};

TEST_F(FolderDialogTest, OpensAboveTheDisabledMainWindowLaidOutForItsSize) {
  OpenDialog();
  const HeadlessUi::Window* dialog = ui_.FindWindow(kFolderDialog);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->title, "Tandrel - Ordner verwalten");
  EXPECT_EQ(dialog->style, ui::WindowStyle::kResizableDialog);
  EXPECT_TRUE(dialog->on_top);
  EXPECT_EQ(std::vector<int>({dialog->min_width, dialog->min_height, dialog->max_width, dialog->max_height}),
            std::vector<int>({300, 250, 1000, 600}));
  EXPECT_FALSE(MainEnabled());

  EXPECT_EQ(RectOf(kFolderDialog, kFolderSplitter), (ui::Rect{2, 2, 396, 268}));
  EXPECT_EQ(RectOf(kFolderDialog, kFolderTree), (ui::Rect{2, 2, 396, 132})) << "the bar starts halfway";
  EXPECT_EQ(RectOf(kFolderDialog, kFolderList), (ui::Rect{2, 138, 396, 132}));
  EXPECT_EQ(RectOf(kFolderDialog, kFolderApplyButton), (ui::Rect{60, 272, 110, 26}));
  EXPECT_EQ(RectOf(kFolderDialog, kFolderCancelButton), (ui::Rect{230, 272, 110, 26}));
  const HeadlessUi::Control* list = ui_.FindControl(kFolderDialog, kFolderList);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->columns, std::vector<std::string>{"Pfad"});
  EXPECT_EQ(list->widths, std::vector<int>{396}) << "the column fills the list";
  EXPECT_EQ(list->selection, ui::ListSelection::kSingle);
  EXPECT_EQ(ui_.FindControl(kFolderDialog, kFolderTree)->kind, HeadlessUi::ControlKind::kFolderTree);
  EXPECT_EQ(ui_.Text(kFolderDialog, kFolderApplyButton), "\xDC" "bernehmen");
  EXPECT_EQ(ui_.Text(kFolderDialog, kFolderCancelButton), "Abbrechen");
  EXPECT_EQ(ui_.MenuItemText(kItemAddFolder), "Hinzuf\xFCgen");
  EXPECT_EQ(ui_.MenuItemText(kItemRemoveFolder), "Entfernen");
  EXPECT_TRUE(ListedFolders().empty()) << "no settings.conf, no folders";
  EXPECT_EQ(test::ReadWholeFile(settings::kSettingsFileName), "") << "opening created the file empty";
}

TEST_F(FolderDialogTest, LayoutFollowsEverySizeChangeWithinTheBounds) {
  OpenDialog();
  ResizeTo(kFolderDialog, 100, 100);  // dragged below the minimum
  EXPECT_EQ(RectOf(kFolderDialog, kFolderApplyButton), (ui::Rect{10, 222, 110, 26}));
  EXPECT_EQ(RectOf(kFolderDialog, kFolderCancelButton), (ui::Rect{180, 222, 110, 26}));
  EXPECT_EQ(RectOf(kFolderDialog, kFolderSplitter), (ui::Rect{2, 2, 296, 218}));
  EXPECT_EQ(RectOf(kFolderDialog, kFolderTree), (ui::Rect{2, 2, 296, 107}));
  EXPECT_EQ(RectOf(kFolderDialog, kFolderList), (ui::Rect{2, 113, 296, 107}));
  EXPECT_EQ(ui_.FindControl(kFolderDialog, kFolderList)->widths, std::vector<int>{296});

  ResizeTo(kFolderDialog, 5000, 5000);
  EXPECT_EQ(RectOf(kFolderDialog, kFolderApplyButton), (ui::Rect{360, 572, 110, 26}));
  EXPECT_EQ(RectOf(kFolderDialog, kFolderCancelButton), (ui::Rect{530, 572, 110, 26}));
  EXPECT_EQ(RectOf(kFolderDialog, kFolderSplitter), (ui::Rect{2, 2, 996, 568}));

  // A dragged bar keeps its share of the height when the dialog is resized.
  ui_.DragSplitterBar(kFolderDialog, kFolderSplitter, 2 + 141);
  EXPECT_EQ(RectOf(kFolderDialog, kFolderTree).height, 141);
  EXPECT_EQ(RectOf(kFolderDialog, kFolderList), (ui::Rect{2, 147, 996, 423}));
  ResizeTo(kFolderDialog, 400, 300);
  EXPECT_EQ(RectOf(kFolderDialog, kFolderTree).height, 66) << "a quarter of 264, as of 564 before";
  EXPECT_EQ(RectOf(kFolderDialog, kFolderList), (ui::Rect{2, 72, 396, 198}));
  ui_.DragSplitterBar(kFolderDialog, kFolderSplitter, 9999);
  EXPECT_EQ(RectOf(kFolderDialog, kFolderList), (ui::Rect{2, 270, 396, 0})) << "the bar stays inside";
}

TEST_F(FolderDialogTest, SettingsWithEmptyLinesOpenWithoutGaps) {
  ASSERT_TRUE(test::WriteWholeFile(settings::kSettingsFileName, "0\r\nD:\\A\r\n\r\n\r\nE:\\B\nF:\\C"));
  OpenDialog();
  EXPECT_EQ(settings::IndexedFolders[3], "E:\\B") << "the empty lines used up slots";
  EXPECT_EQ(ListedFolders(), (std::vector<std::string>{"D:\\A", "E:\\B", "F:\\C"}));
}

TEST_F(FolderDialogTest, AddingTakesTheSelectedFolderWithoutItsBackslashOnce) {
  OpenDialog();
  Add("D:\\");
  Add("D:\\Daten\\");
  Add("D:\\Daten\\");                 // listed already
  Add("d:\\daten\\");                 // differs in case: a folder of its own
  Add("");                            // nothing selected in the tree
  Add("E:\\Bilder und Filme\\2009\\");
  EXPECT_EQ(ListedFolders(),
            (std::vector<std::string>{"D:", "D:\\Daten", "d:\\daten", "E:\\Bilder und Filme\\2009"}));
  EXPECT_EQ(ui_.PopupsShown(), std::vector<ui::MenuId>(6, kTreeMenu));
  EXPECT_TRUE(ui_.MessageBoxes().empty()) << "refused additions are silent";
  EXPECT_EQ(test::ReadWholeFile(settings::kSettingsFileName), "") << "nothing is written before applying";
}

TEST_F(FolderDialogTest, TheListHoldsAtMost101Folders) {
  ASSERT_TRUE(test::WriteWholeFile(settings::kSettingsFileName, ManyFolders(100)));
  OpenDialog();
  ASSERT_EQ(ListedFolders().size(), 100u);
  Add("X:\\Neu\\");
  EXPECT_EQ(ListedFolders().size(), 101u) << "the 101st fits";
  EXPECT_TRUE(ui_.MessageBoxes().empty());

  Add("X:\\Noch einer\\");
  ASSERT_EQ(ListedFolders().size(), 101u);
  EXPECT_EQ(ListedFolders().back(), "X:\\Neu");
  ASSERT_EQ(ui_.MessageBoxes().size(), 1u);
  EXPECT_EQ(ui_.MessageBoxes()[0].first, "Warnung");
  EXPECT_NE(ui_.MessageBoxes()[0].second.find("101"), std::string::npos);
  Add("D:\\F7\\");  // listed already: silent, even with the list full
  EXPECT_EQ(ui_.MessageBoxes().size(), 1u);
  EXPECT_TRUE(ui_.WindowExists(kFolderDialog)) << "the dialog stays open";

  Click(kFolderDialog, kFolderApplyButton);
  settings::ReadSettings();
  EXPECT_EQ(settings::IndexedFolders[100], "X:\\Neu") << "all 101 rows reach the slots";
}

TEST_F(FolderDialogTest, RemovingThenCancellingKeepsSettings) {
  const std::string original = "0\r\nD:\\A\r\nD:\\B\r\n";
  ASSERT_TRUE(test::WriteWholeFile(settings::kSettingsFileName, original));
  OpenDialog();
  RightClick(kFolderDialog, kFolderList);
  EXPECT_TRUE(ui_.PopupsShown().empty()) << "no menu without a selected row";
  Choose(kItemRemoveFolder, kFolderDialog);
  EXPECT_EQ(ListedFolders().size(), 2u) << "nothing selected, nothing removed";

  RemoveRow(0);
  EXPECT_EQ(ui_.PopupsShown(), std::vector<ui::MenuId>{kFolderListMenu});
  EXPECT_EQ(ListedFolders(), std::vector<std::string>{"D:\\B"});
  EXPECT_EQ(settings::IndexedFolders[0], "D:\\A") << "the settings were read again, not changed";
  EXPECT_EQ(ui_.SelectedRow(kFolderDialog, kFolderList), -1);

  Click(kFolderDialog, kFolderCancelButton);
  EXPECT_FALSE(ui_.WindowExists(kFolderDialog));
  ExpectMainWindowBack();
  EXPECT_EQ(test::ReadWholeFile(settings::kSettingsFileName), original);
  OpenDialog();
  EXPECT_EQ(ListedFolders(), (std::vector<std::string>{"D:\\A", "D:\\B"})) << "back at the next opening";

  Add("C:\\Neu\\");
  CloseBox(kFolderDialog);  // the close box discards as well
  EXPECT_FALSE(ui_.WindowExists(kFolderDialog));
  ExpectMainWindowBack();
  EXPECT_EQ(test::ReadWholeFile(settings::kSettingsFileName), original);
}

TEST_F(FolderDialogTest, RemovingThenApplyingDropsTheFolder) {
  ASSERT_TRUE(test::WriteWholeFile(settings::kSettingsFileName, "0\r\nD:\\A\r\n\r\nD:\\B\r\nD:\\C\r\n"));
  OpenDialog();
  RemoveRow(1);
  Add("E:\\\xC4rger\\");
  Click(kFolderDialog, kFolderApplyButton);
  EXPECT_FALSE(ui_.WindowExists(kFolderDialog));
  ExpectMainWindowBack();
  EXPECT_EQ(test::ReadWholeFile(settings::kSettingsFileName), "0\r\nD:\\A\r\nD:\\C\r\nE:\\\xC4rger\r\n");
  EXPECT_EQ(settings::IndexedFolders[1], "D:\\C") << "the run walks the list read back";
  EXPECT_EQ(settings::IndexedFolders[2], "E:\\\xC4rger");
  EXPECT_EQ(settings::IndexedFolders[3], "");
}

TEST_F(FolderDialogTest, ApplyingAnUnchangedListRewritesTheFile) {
  ASSERT_TRUE(test::WriteWholeFile(settings::kSettingsFileName, "1;an\r\n\r\nD:\\A"));
  OpenDialog();
  Click(kFolderDialog, kFolderApplyButton);
  EXPECT_EQ(test::ReadWholeFile(settings::kSettingsFileName), "1\r\nD:\\A\r\n");
}

// A double click on "Übernehmen" while the main thread is busy, or "Abbrechen" and then
// "Übernehmen": the later events belong to a dialog that is gone.
TEST_F(FolderDialogTest, EventsOfTheClosedDialogChangeNothing) {
  const std::string original = "0\r\nD:\\A\r\nD:\\B\r\n";
  ASSERT_TRUE(test::WriteWholeFile(settings::kSettingsFileName, original));
  const ui::Event apply = ui::ControlEvent(kFolderDialog, kFolderApplyButton, ui::Action::kLeftClick);
  const ui::Event cancel = ui::ControlEvent(kFolderDialog, kFolderCancelButton, ui::Action::kLeftClick);
  const auto handle_queue = [this] {
    for (int i = 0; i < 4; ++i) Dispatch(ui_.WaitEvent(0));
  };
  OpenDialog();
  ui_.Push(apply);
  ui_.Push(apply);
  handle_queue();
  WaitForIndexingRuns();
  EXPECT_EQ(test::ReadWholeFile(settings::kSettingsFileName), original) << "queued twice";
  EXPECT_EQ(settings::IndexedFolders[1], "D:\\B");

  OpenDialog();
  ui_.Push(cancel);
  ui_.Push(apply);
  handle_queue();
  EXPECT_EQ(index::IndexRunActive.load(), 0) << "no run started";
  Dispatch(apply);  // past the window layer, straight to the dispatch
  ApplyFolderDialog(ui_);  // and to the action itself
  CancelFolderDialog(ui_);
  Choose(kItemRemoveFolder, kFolderDialog);
  EXPECT_EQ(index::IndexRunActive.load(), 0);
  EXPECT_EQ(test::ReadWholeFile(settings::kSettingsFileName), original);
  EXPECT_EQ(settings::IndexedFolders[1], "D:\\B");
  ExpectMainWindowBack();
}

TEST_F(FolderDialogTest, AWindowThatCannotOpenLeavesTheMainWindowUsable) {
  ui_.RefuseWindows(true);
  OpenDialog();
  EXPECT_FALSE(ui_.WindowExists(kFolderDialog));
  EXPECT_TRUE(MainEnabled());
  Choose(kItemSettings, kMainWindow);
  EXPECT_FALSE(ui_.WindowExists(kSettingsDialog));
  EXPECT_TRUE(MainEnabled());
}

}  // namespace
}  // namespace tandrel::app
