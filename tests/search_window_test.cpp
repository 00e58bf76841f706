// The search behind the query field, on the headless window layer: the refusals, the
// remembered options, the status texts, the rows, and searches that end each other.
#include <gtest/gtest.h>

#include <map>

#include "app/object_numbers.h"
#include "app/shell.h"
#include "index/index.h"
#include "tests/support/headless_ui.h"
#include "platform/platform.h"
#include "search/search.h"
#include "search/window/search_window.h"
#include "test_support.h"

namespace tandrel::search_window {
namespace {

using ui::HeadlessUi;

std::shared_ptr<const index::IndexTable> SampleTable() {
  index::IndexTableBuilder builder;
  builder.Add("Brief.txt", "C:\\Post", index::kEntryFile);
  builder.Add("Briefe", "C:\\Post", index::kEntryFolder);
  builder.Add("Liebesbrief.doc", "C:\\Post\\Alt", index::kEntryFile);
  builder.Add("Notiz.txt", "C:\\Brief", index::kEntryFile);
  builder.Add("abc", "C:\\", index::kEntryFile);
  return builder.Finish();
}

// Counts the texts shown in each status field, so that a test sees a post even when it
// repeats the text already there.
class CountingUi : public HeadlessUi {
 public:
  int StatusUpdates(ui::FieldId field) const {
    const auto found = updates_.find(field);
    return found == updates_.end() ? 0 : found->second;
  }

 protected:
  void ApplyStatusText(ui::FieldId field, const std::string& text) override {
    ++updates_[field];
    HeadlessUi::ApplyStatusText(field, text);
  }

 private:
  std::map<ui::FieldId, int> updates_;
};

class SearchWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EndRunningSearch();
    ClearLastQuery();
    LastSearchRequest.Reset();
    ResetHitOrder();
    index::IndexRunActive = 0;
    index::PublishIndexTable(SampleTable());
    app::OpenMainWindow(ui_);
    ui_.ApplyPosted();
  }
  void TearDown() override { EndRunningSearch(); }

  // Types the query and presses Return; waits for the search it may start.
  void Search(std::string_view query) {
    ui_.TypeText(app::kMainWindow, app::kQueryField, query);
    StartSearch(ui_, app::kSearchControls);
    EndSearchWhenDone();
  }
  void EndSearchWhenDone() {
    ASSERT_TRUE(test::WaitUntil([] { return !SearchRunning(); })) << "the search never ended";
    ui_.ApplyPosted();
  }
  void Click(ui::ControlId check_box) {
    ui_.SetChecked(app::kMainWindow, check_box, !ui_.IsChecked(app::kMainWindow, check_box));
    app::DispatchEvent(ui_, ui::ControlEvent(app::kMainWindow, check_box, ui::Action::kLeftClick));
  }
  std::vector<std::string> Rows() const {
    std::vector<std::string> rows;
    const HeadlessUi::Control* list = ui_.FindControl(app::kMainWindow, app::kResultList);
    for (std::int32_t r = 0; list->rows && r < list->rows->RowCount(); ++r) {
      rows.push_back(std::string(list->rows->Cell(r, 0)) + "|" + std::string(list->rows->Cell(r, 1)));
    }
    return rows;
  }
  std::string State() const { return ui_.StatusText(app::kStateField); }
  // Whether anything reaches the hit count field within `limit_ms`.
  bool CountPostedWithin(std::uint32_t limit_ms) {
    const int before = ui_.StatusUpdates(app::kHitCountField);
    return test::WaitUntil([&] {
      ui_.ApplyPosted();
      return ui_.StatusUpdates(app::kHitCountField) != before;
    }, limit_ms);
  }

  CountingUi ui_;
};

TEST_F(SearchWindowTest, AFinishedSearchListsNameAndFolderInIndexOrder) {
  Search("brief");
  EXPECT_EQ(Rows(), (std::vector<std::string>{"Brief.txt|C:\\Post", "Briefe|C:\\Post",
                                              "Liebesbrief.doc|C:\\Post\\Alt"}))
      << "the folder C:\\Brief alone is no hit";
  EXPECT_EQ(ui_.StatusText(app::kHitCountField), "Gefunden: 3");
  EXPECT_EQ(State(), "\tFertig!");
  EXPECT_EQ(LastQuery(), "brief");
  const HeadlessUi::Control* list = ui_.FindControl(app::kMainWindow, app::kResultList);
  EXPECT_TRUE(list->redraw);
  int others = 0;
  ui_.GetInnerSize(app::kMainWindow, others, others);
  EXPECT_GT(list->widths[1], 0) << "column 1 fills the header";
  const HeadlessUi::Control* bar = ui_.FindControl(app::kMainWindow, app::kProgressBar);
  EXPECT_EQ(bar->progress_pos, 0);
  EXPECT_EQ(bar->progress_max, 5);
  EXPECT_TRUE(ui_.MenuItemEnabled(app::kItemManageFolders));
  EXPECT_TRUE(ui_.MenuItemEnabled(app::kItemUpdateIndex));
}

TEST_F(SearchWindowTest, HeaderClicksSortStablyReverseReturnAndHoldForTheNextSearch) {
  Search("brief");
  const HeadlessUi::Control* list = ui_.FindControl(app::kMainWindow, app::kResultList);
  auto click = [&](int column, std::vector<std::string> expected) {
    ui::Event event = ui::ControlEvent(app::kMainWindow, app::kResultList, ui::Action::kHeaderClick);
    event.column = column;
    app::DispatchEvent(ui_, event);
    EXPECT_TRUE(test::WaitUntil([&] {
      ui_.ApplyPosted();
      return Rows() == expected;
    })) << "column " << column << ": " << testing::PrintToString(Rows());
  };
  const std::vector<std::string> index_order = Rows();
  click(1, index_order);
  click(1, {"Liebesbrief.doc|C:\\Post\\Alt", "Brief.txt|C:\\Post", "Briefe|C:\\Post"});  // equal folders keep their order
  EXPECT_EQ(list->sort_arrow_column, 1);
  EXPECT_TRUE(list->sort_descending);
  click(0, index_order);
  const std::vector<std::string> by_name_down = {"Liebesbrief.doc|C:\\Post\\Alt", "Briefe|C:\\Post", "Brief.txt|C:\\Post"};
  click(0, by_name_down);
  Search("rief");
  EXPECT_EQ(Rows(), by_name_down) << "the next search keeps the order";
  click(0, index_order);
  EXPECT_EQ(list->sort_arrow_column, -1);
}

TEST_F(SearchWindowTest, NoHitsLeaveAnEmptyListAndACountOfZero) {
  Search("brief");
  Search("zzzz");
  EXPECT_TRUE(Rows().empty());
  EXPECT_EQ(ui_.StatusText(app::kHitCountField), "Gefunden: 0");
  EXPECT_EQ(State(), "\tFertig!");
}

TEST_F(SearchWindowTest, TheSameQueryWithTheSameOptionsIsRefusedAndTheListStays) {
  Search("brief");
  Search("brief");
  EXPECT_EQ(State(), "\tSelber Suchvorgang!");
  EXPECT_EQ(Rows().size(), 3u);
  Search("Brief");  // case matters for the same-search test
  EXPECT_EQ(State(), "\tFertig!");
  ClearLastQuery();  // as an indexing run does when it ends
  Search("Brief");
  EXPECT_EQ(State(), "\tFertig!");
}

TEST_F(SearchWindowTest, ShortQueriesAreRefusedButTheirOptionsAreRemembered) {
  Search("");
  EXPECT_EQ(State(), "\tMindestens 3 Zeichen") << "the remembered options start as 0 and 0";
  Search("");
  EXPECT_EQ(State(), "\tSelber Suchvorgang!");

  Search("abc");
  EXPECT_EQ(State(), "\tFertig!");
  Click(app::kFoldersCheckBox);  // off; files stay on
  Search("ab");
  EXPECT_EQ(State(), "\tMindestens 3 Zeichen");
  Search("abc");
  EXPECT_EQ(State(), "\tSelber Suchvorgang!") << "the refused query remembered the options";

  for (const char* refused : {"a*b", "***", "ab"}) {
    ClearLastQuery();
    Search(refused);
    EXPECT_EQ(State(), "\tMindestens 3 Zeichen") << refused;
  }
  Search("a b");
  EXPECT_EQ(State(), "\tFertig!");
}

TEST_F(SearchWindowTest, TheCheckBoxesChooseTheKindsAndOneAlwaysStaysOn) {
  Click(app::kFoldersCheckBox);
  Search("brief");
  EXPECT_EQ(Rows(), (std::vector<std::string>{"Brief.txt|C:\\Post", "Liebesbrief.doc|C:\\Post\\Alt"}));

  Click(app::kFilesCheckBox);  // the only one on: folders come back on
  EXPECT_TRUE(ui_.IsChecked(app::kMainWindow, app::kFoldersCheckBox));
  EXPECT_FALSE(ui_.IsChecked(app::kMainWindow, app::kFilesCheckBox));
  EXPECT_EQ(FoldersOption.load(), 1);
  EXPECT_EQ(FilesOption.load(), 0);
  Search("brief");
  EXPECT_EQ(Rows(), (std::vector<std::string>{"Briefe|C:\\Post"}));

  Click(app::kFoldersCheckBox);  // off again: files come back on
  EXPECT_EQ(FilesOption.load(), 1);
  EXPECT_EQ(FoldersOption.load(), 0);
  Click(app::kFoldersCheckBox);
  Search("brief");
  EXPECT_EQ(Rows().size(), 3u);
}

TEST_F(SearchWindowTest, ASearchDuringAnIndexingRunLeavesTheRunsItemsDisabled) {
  index::IndexRunActive = 1;
  ui_.PostMenuItemEnabled(app::kItemManageFolders, false);
  ui_.PostMenuItemEnabled(app::kItemUpdateIndex, false);
  Search("brief");
  EXPECT_EQ(State(), "\tFertig!");
  EXPECT_FALSE(ui_.MenuItemEnabled(app::kItemManageFolders));
  EXPECT_FALSE(ui_.MenuItemEnabled(app::kItemUpdateIndex));
  index::IndexRunActive = 0;
}

TEST_F(SearchWindowTest, TheListKeepsShowingItsHitsAfterAReload) {
  Search("brief");
  index::IndexTableBuilder builder;
  builder.Add("other", "D:", index::kEntryFile);
  index::PublishIndexTable(builder.Finish());
  EXPECT_EQ(Rows().front(), "Brief.txt|C:\\Post");
  ClearLastQuery();
  Search("brief");
  EXPECT_TRUE(Rows().empty());
  Search("other");
  EXPECT_EQ(Rows(), (std::vector<std::string>{"other|D:"}));
}

// Searches that end each other: only the last one leaves rows, its count and "Fertig!".
TEST_F(SearchWindowTest, ANewSearchEndsTheRunningOneWithoutATrace) {
  index::IndexTableBuilder builder;
  // The last query below, dat*9 and five empty words, asks for a 9 at or after "dat",
  // which opens every name: the plain reference for its hits.
  std::vector<std::string> expected;
  for (int i = 0; i < 400000; ++i) {
    const std::string name = "datei" + std::to_string(i) + ".txt";
    const std::string folder = "C:\\Daten\\" + std::to_string(i % 100);
    builder.Add(name, folder, i % 10 == 0 ? index::kEntryFolder : index::kEntryFile);
    if (std::to_string(i).find('9') != std::string::npos) expected.push_back(name + "|" + folder);
  }
  index::PublishIndexTable(builder.Finish());
  for (int i = 0; i < 60; ++i) {
    ui_.TypeText(app::kMainWindow, app::kQueryField, "dat*" + std::to_string(i % 10) + std::string(i / 10, ' '));
    StartSearch(ui_, app::kSearchControls);
    if (i % 7 == 0) ui_.ApplyPosted();
  }
  EndSearchWhenDone();
  EXPECT_EQ(LastQuery(), "dat*9     ");
  EXPECT_TRUE(Rows() == expected) << Rows().size() << " rows instead of " << expected.size();
  EXPECT_EQ(ui_.StatusText(app::kHitCountField), "Gefunden: " + std::to_string(expected.size()));
  EXPECT_EQ(State(), "\tFertig!");
  // Nothing an ended search or its ticker might still post comes after the end: no
  // update of the count for more than two ticker periods. The same wait sees a late
  // post from another thread.
  EXPECT_FALSE(CountPostedWithin(450)) << ui_.StatusText(app::kHitCountField);
  platform::Thread late;
  ASSERT_TRUE(late.Start(
      [this](const platform::StopToken&) { ui_.PostStatusText(app::kHitCountField, "Gefunden: 1"); }));
  EXPECT_TRUE(CountPostedWithin(5000));
  late.Wait();
}

}  // namespace
}  // namespace tandrel::search_window
