// The actions on the result list's hits, on the headless window layer: the shell start
// and its fallback, folder windows and the question above ten, the copy worker with its
// status fields, cancel, and the file lists for dragging and the clipboard.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "app/object_numbers.h"
#include "app/shell.h"
#include "index/index.h"
#include "search/actions/copy_worker_testing.h"
#include "tests/support/headless_ui.h"
#include "test_support.h"

namespace tandrel::actions {
namespace {

using ui::HeadlessUi;
constexpr char kSep = platform::kPathSeparator;

class HitRows final : public ui::RowSource {
 public:
  explicit HitRows(std::vector<std::pair<std::string, std::string>> rows) : rows_(std::move(rows)) {}
  std::int32_t RowCount() const override { return static_cast<std::int32_t>(rows_.size()); }
  std::string_view Cell(std::int32_t row, int column) const override {
    const auto& r = rows_[static_cast<std::size_t>(row)];
    return column == 0 ? r.first : r.second;
  }

 private:
  std::vector<std::pair<std::string, std::string>> rows_;
};

// Holds the copy worker at each copy until the test lets it go on.
class CopyPacer {
 public:
  void AtCopy(const std::string& name) {
    platform::LockGuard hold(lock_);
    names_.push_back(name);
    threads_.push_back(platform::CurrentThreadKey());
    changed_.NotifyAll();
    changed_.WaitFor(hold, 20000, [&] { return released_ >= names_.size(); });
  }
  bool WaitForCopy(std::size_t count) {
    platform::LockGuard hold(lock_);
    return changed_.WaitFor(hold, 20000, [&] { return names_.size() >= count; });
  }
  void Release(std::size_t count = 1) {
    platform::LockGuard hold(lock_);
    released_ += count;
    changed_.NotifyAll();
  }
  std::vector<std::string> Names() {
    platform::LockGuard hold(lock_);
    return names_;
  }
  std::vector<std::uintptr_t> Threads() {
    platform::LockGuard hold(lock_);
    return threads_;
  }

 private:
  platform::Mutex lock_;
  platform::ConditionVariable changed_;
  std::vector<std::string> names_;
  std::vector<std::uintptr_t> threads_;
  std::size_t released_ = 0;
};

class ResultActionsTest : public test::ScratchFolder {
 protected:
  void SetUp() override {
    ScratchFolder::SetUp();
    index::IndexRunActive = 0;
    app::OpenMainWindow(ui_);
    ui_.ApplyPosted();
  }
  void TearDown() override {
    CancelCopies(ui_, app::kResultControls);
    pacer_.Release(1000000);
    WaitForCopyWorker();
    SetCopyGate(nullptr);
    index::IndexRunActive = 0;
    ScratchFolder::TearDown();
  }
  void ShowRows(std::vector<std::pair<std::string, std::string>> rows) {
    ui_.SetRows(app::kMainWindow, app::kResultList, std::make_shared<HitRows>(std::move(rows)));
  }
  void Select(std::initializer_list<std::int32_t> rows) {
    for (std::int32_t row : rows) ui_.SelectRow(app::kMainWindow, app::kResultList, row);
  }
  void Choose(ui::ItemId item) { app::DispatchEvent(ui_, ui::MenuEvent(app::kMainWindow, item)); }
  void ListAction(ui::Action action) {
    app::DispatchEvent(ui_, ui::ControlEvent(app::kMainWindow, app::kResultList, action));
  }
  void PaceCopies() {
    SetCopyGate([this](const std::string& name) { pacer_.AtCopy(name); });
  }
  // The two copy fields as the window shows them now.
  std::string Fields() {
    ui_.ApplyPosted();
    return ui_.StatusText(app::kCopyField) + "|" + ui_.StatusText(app::kProgressField);
  }
  std::string Folder(const std::string& name) {
    const std::string path = Path(name);
    EXPECT_TRUE(platform::CreateFolder(path));
    return path;
  }

  HeadlessUi ui_;
  CopyPacer pacer_;
};

TEST_F(ResultActionsTest, ProgramsStartInTheirFolderAndEverythingElseGoesToTheShell) {
  const std::string apps = std::string(1, kSep) + "apps";
  const std::string docs = std::string(1, kSep) + "docs";
  ShowRows({{"tool.exe", apps}, {"brief.txt", docs}, {"", docs}, {"Post", docs}});
  ui_.AcceptPrograms({apps + kSep + "tool.exe"});
  Select({0, 1, 2, 3});
  Choose(app::kItemOpen);

  const auto& starts = ui_.ProgramStarts();
  ASSERT_EQ(starts.size(), 3u) << "the row without a name is left out";
  EXPECT_EQ(starts[0].command_line, "\"" + apps + kSep + "tool.exe\"");
  EXPECT_EQ(starts[0].working_folder, apps + kSep);
  EXPECT_TRUE(starts[0].started);
  EXPECT_EQ(starts[1].command_line, "\"" + docs + kSep + "brief.txt\"");
  EXPECT_EQ(starts[2].command_line, "\"" + docs + kSep + "Post\"");
  const auto& shell = ui_.ShellOpens();
  ASSERT_EQ(shell.size(), 2u) << "the started program is not handed on";
  EXPECT_EQ(shell[0].path, docs + kSep + "brief.txt");
  EXPECT_EQ(shell[0].parameters, "");
  EXPECT_EQ(shell[0].working_folder, docs + kSep);
  EXPECT_EQ(shell[1].path, docs + kSep + "Post");

  // A double click opens the first selected row only.
  ShowRows({{"a.txt", docs}, {"b.txt", docs}, {"c.txt", docs}});
  Select({2, 1});
  ListAction(ui::Action::kLeftDoubleClick);
  ASSERT_EQ(ui_.ShellOpens().size(), 3u);
  EXPECT_EQ(ui_.ShellOpens().back().path, docs + kSep + "b.txt");
}

TEST_F(ResultActionsTest, FolderWindowsSelectTheirHitsAndMoreThanTenAskFirst) {
  std::vector<std::pair<std::string, std::string>> rows;
  for (int i = 0; i < 11; ++i) rows.push_back({"f" + std::to_string(i), "d" + std::to_string(i)});
  ShowRows(rows);
  for (std::int32_t r = 0; r < 10; ++r) Select({r});
  Choose(app::kItemOpenFolder);
  EXPECT_TRUE(ui_.Questions().empty());
  ASSERT_EQ(ui_.FoldersShown().size(), 10u);
  EXPECT_EQ(ui_.FoldersShown()[3].folder, std::string("d3") + kSep);
  EXPECT_EQ(ui_.FoldersShown()[3].names, std::vector<std::string>{"f3"});

  Select({10});
  Choose(app::kItemOpenFolder);
  ASSERT_EQ(ui_.Questions().size(), 1u);
  EXPECT_EQ(ui_.Questions()[0].first, "Warnung");
  EXPECT_EQ(ui_.Questions()[0].second,
            "Das gleichzeitige \xF6" "ffnen vieler Ordner kann dazu f\xFChren dass Ihr System nicht mehr "
            "reagiert!\nFortfahren?");
  EXPECT_EQ(ui_.FoldersShown().size(), 10u) << "No opens none";
  ui_.AnswerQuestions(true);
  Choose(app::kItemOpenFolder);
  EXPECT_EQ(ui_.FoldersShown().size(), 21u);
  EXPECT_EQ(ui_.FoldersShown().back().folder, std::string("d10") + kSep) << "list order";

  // Hits sharing a folder share one window; without it the file browser's own command
  // line selects the folder's first hit.
  ShowRows({{"x", "p"}, {"y", "q"}, {"z", "p"}});
  Select({0, 1, 2});
  Choose(app::kItemOpenFolder);
  ASSERT_EQ(ui_.FoldersShown().size(), 23u);
  EXPECT_EQ(ui_.FoldersShown()[21].names, (std::vector<std::string>{"x", "z"}));
  ui_.ShowInFolderSucceeds(false);
  Choose(app::kItemOpenFolder);
  ASSERT_EQ(ui_.ProgramStarts().size(), 2u);
  EXPECT_EQ(ui_.ProgramStarts()[0].command_line, std::string("explorer.exe /select,\"p") + kSep + "x\"");
  EXPECT_EQ(ui_.ProgramStarts()[0].working_folder, std::string("p") + kSep);
  EXPECT_EQ(ui_.ShellOpens().size(), 2u) << "a refused explorer still opens the folder";
}

TEST_F(ResultActionsTest, CopiesReplaceInListOrderWhileTheFieldsCountDown) {
  const std::string source = Folder("source");
  const std::string target = Folder("target");
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
    ASSERT_TRUE(test::WriteWholeFile(source + kSep + name, std::string("new ") + name));
  }
  ASSERT_TRUE(test::WriteWholeFile(target + kSep + "b.txt", "old"));
  ShowRows({{"c.txt", source}, {"a.txt", source}, {"b.txt", source}});
  Select({0, 1, 2});

  Choose(app::kItemCopyTo);  // the requester is cancelled
  ui_.AnswerFolderRequester(std::string());  // a place without a file-system path
  Choose(app::kItemCopyTo);
  EXPECT_EQ(ui_.FolderRequesterTitles(), (std::vector<std::string>{"Kopieren nach...", "Kopieren nach..."}));
  EXPECT_FALSE(CopyWorkerRunning());
  EXPECT_EQ(PendingCopies(), 0);

  PaceCopies();
  ui_.AnswerFolderRequester(target);  // without the separator: it is added
  Choose(app::kItemCopyTo);
  std::vector<std::string> seen;
  for (std::size_t copy = 1; copy <= 3; ++copy) {
    ASSERT_TRUE(pacer_.WaitForCopy(copy));
    seen.push_back(Fields());
    pacer_.Release();
  }
  WaitForCopyWorker();
  seen.push_back(Fields());
  EXPECT_EQ(seen, (std::vector<std::string>{"\tWorking... (3)|\tc.txt", "\tWorking... (2)|\ta.txt",
                                            "\tWorking... (1)|\tb.txt", "|"}));
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
    EXPECT_EQ(test::ReadWholeFile(target + kSep + name), std::string("new ") + name);
  }
}

TEST_F(ResultActionsTest, AFolderHitGetsItsTopLevelFilesOnlyAndAMissingOneNothing) {
  const std::string source = Folder("source");
  const std::string target = Folder("target");
  const std::string tree = Folder("source" + std::string(1, kSep) + "Tree");
  Folder("source" + std::string(1, kSep) + "Tree" + kSep + "sub");
  ASSERT_TRUE(test::WriteWholeFile(tree + kSep + "one", "1"));
  ASSERT_TRUE(test::WriteWholeFile(tree + kSep + "two", "2"));
  ASSERT_TRUE(test::WriteWholeFile(tree + kSep + "sub" + kSep + "deep", "3"));
  ShowRows({{"Tree", source}, {"Gone", source}});
  Select({0, 1});
  ui_.AnswerFolderRequester(target + kSep);
  Choose(app::kItemCopyTo);
  WaitForCopyWorker();

  EXPECT_EQ(test::ReadWholeFile(target + kSep + "Tree" + kSep + "one"), "1");
  EXPECT_EQ(test::ReadWholeFile(target + kSep + "Tree" + kSep + "two"), "2");
  EXPECT_FALSE(platform::IdentifyFolder(target + kSep + "Tree" + kSep + "sub"));
  EXPECT_FALSE(platform::IdentifyFolder(target + kSep + "Gone"));
  EXPECT_FALSE(test::FileExists(target + kSep + "Gone"));
  EXPECT_EQ(Fields(), "|");
}

TEST_F(ResultActionsTest, ABatchQueuedWhileTheWorkerRunsJoinsItsQueue) {
  const std::string source = Folder("source");
  const std::string target = Folder("target");
  for (const char* name : {"a", "b", "c", "d"}) ASSERT_TRUE(test::WriteWholeFile(source + kSep + name, name));
  ShowRows({{"a", source}, {"b", source}, {"c", source}, {"d", source}});
  ui_.AnswerFolderRequester(target);
  PaceCopies();
  Select({0, 1});
  Choose(app::kItemCopyTo);
  ASSERT_TRUE(pacer_.WaitForCopy(1));
  ShowRows({{"a", source}, {"b", source}, {"c", source}, {"d", source}});
  Select({2, 3});
  Choose(app::kItemCopyTo);
  EXPECT_EQ(PendingCopies(), 4);
  pacer_.Release();
  ASSERT_TRUE(pacer_.WaitForCopy(2));
  EXPECT_EQ(Fields(), "\tWorking... (3)|\tb");
  pacer_.Release(3);
  WaitForCopyWorker();
  EXPECT_EQ(pacer_.Names(), (std::vector<std::string>{"a", "b", "c", "d"}));
  const auto threads = pacer_.Threads();
  EXPECT_EQ(std::count(threads.begin(), threads.end(), threads[0]), 4) << "one worker made every copy";
  EXPECT_EQ(test::ReadWholeFile(target + kSep + "d"), "d");
  EXPECT_EQ(PendingCopies(), 0);
}

TEST_F(ResultActionsTest, CancelFinishesTheCopyUnderWayAndNothingElse) {
  const std::string source = Folder("source");
  const std::string target = Folder("target");
  std::string large(8 << 20, '\0');
  for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 7 + i / 4096);
  ASSERT_TRUE(test::WriteWholeFile(source + kSep + "large", large));
  ASSERT_TRUE(test::WriteWholeFile(source + kSep + "small", "s"));
  ShowRows({{"large", source}, {"small", source}, {"large", source}});
  Select({0, 1, 2});
  ui_.AnswerFolderRequester(target);
  index::IndexRunActive = 1;  // an indexing run owns field 3
  ui_.PostStatusText(app::kProgressField, "\tRun");
  PaceCopies();
  Choose(app::kItemCopyTo);
  ASSERT_TRUE(pacer_.WaitForCopy(1));
  EXPECT_EQ(Fields(), "\tWorking... (3)|\tRun");
  Choose(app::kItemCancelCopy);
  EXPECT_EQ(PendingCopies(), 1) << "the copy under way";
  pacer_.Release();
  WaitForCopyWorker();
  EXPECT_FALSE(CopyWorkerRunning());
  EXPECT_EQ(pacer_.Names(), std::vector<std::string>{"large"});
  EXPECT_TRUE(test::ReadWholeFile(target + kSep + "large") == large);
  EXPECT_FALSE(test::FileExists(target + kSep + "small"));
  EXPECT_EQ(Fields(), "|\tRun");
  EXPECT_EQ(PendingCopies(), 0);
  Choose(app::kItemCancelCopy);  // nothing queued: nothing changes
  EXPECT_EQ(Fields(), "|\tRun");
}

TEST_F(ResultActionsTest, TheCopyAfterTenThousandInOneRunIsMade) {
  const std::string source = Folder("source");
  const std::string target = Folder("target");
  std::vector<std::pair<std::string, std::string>> missing;
  for (int i = 0; i < 10000; ++i) missing.push_back({"missing" + std::to_string(i), source});
  ShowRows(missing);
  ui_.SelectRow(app::kMainWindow, app::kResultList, -1);
  ui_.AnswerFolderRequester(target);
  Choose(app::kItemCopyTo);
  WaitForCopyWorker();
  ASSERT_TRUE(test::WriteWholeFile(source + kSep + "last", "10001"));
  ShowRows({{"last", source}});
  Select({0});
  Choose(app::kItemCopyTo);
  WaitForCopyWorker();
  EXPECT_EQ(test::ReadWholeFile(target + kSep + "last"), "10001");
}

TEST_F(ResultActionsTest, DragAndClipboardOfferExactlyTheSelectedPathsInListOrder) {
  ShowRows({{"a.txt", "x"}, {"b.txt", "y"}, {"c", "z"}});
  ListAction(ui::Action::kDragStart);
  ListAction(ui::Action::kCopy);
  EXPECT_TRUE(ui_.Drags().empty()) << "no rows, no drag";
  EXPECT_TRUE(ui_.Clipboards().empty());
  Select({2, 0});
  ListAction(ui::Action::kDragStart);
  ListAction(ui::Action::kCopy);
  const std::vector<std::string> paths{std::string("x") + kSep + "a.txt", std::string("z") + kSep + "c"};
  EXPECT_EQ(ui_.Drags(), std::vector<std::vector<std::string>>{paths});
  EXPECT_EQ(ui_.Clipboards(), std::vector<std::vector<std::string>>{paths});
}

#ifdef _WIN32
// Hits whose names the code page cannot hold: the one file a stored path stands for is
// acted on under its real name; a path that matches no file or two is left out, and the
// state field says which and why.
TEST_F(ResultActionsTest, AHitIsActedOnOnlyWhenItsStoredPathFindsExactlyOneFile) {
  const std::string docs = Folder("docs");
  const std::string target = Folder("target");
  const std::wstring wide = test::WideOfAscii(docs);
  ASSERT_TRUE(test::WriteWideFile(wide + L"\\\u65E5\u672C.txt", "nihon"));
  ASSERT_TRUE(test::WriteWideFile(wide + L"\\\u4E2D\u56FD.txt", "china"));
  ASSERT_TRUE(test::WriteWideFile(wide + L"\\\u0141\u00F3d\u017A.txt", "lodz"));
  const std::string lodz = "?\xF3" "d?.txt";
  ShowRows({{"??.txt", docs}, {lodz, docs}, {"???.txt", docs}});
  Select({0, 1, 2});

  Choose(app::kItemOpen);
  ASSERT_EQ(ui_.ProgramStarts().size(), 1u);
  EXPECT_EQ(ui_.ProgramStarts()[0].command_line, "\"" + docs + kSep + lodz + "\"");
  ui_.ApplyPosted();
  EXPECT_EQ(ui_.StatusText(app::kStateField), "\tNicht gefunden: ???.txt");
  Choose(app::kItemOpenFolder);
  ASSERT_FALSE(ui_.FoldersShown().empty());
  EXPECT_EQ(ui_.FoldersShown().back().names, std::vector<std::string>{lodz});
  ListAction(ui::Action::kDragStart);
  ListAction(ui::Action::kCopy);
  const std::vector<std::string> paths{docs + kSep + lodz};
  EXPECT_EQ(ui_.Drags(), std::vector<std::vector<std::string>>{paths});
  EXPECT_EQ(ui_.Clipboards(), std::vector<std::vector<std::string>>{paths});
  ui_.AnswerFolderRequester(target);
  Choose(app::kItemCopyTo);
  WaitForCopyWorker();
  EXPECT_EQ(test::ReadWideFile(test::WideOfAscii(target) + L"\\\u0141\u00F3d\u017A.txt"), "lodz");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(std::filesystem::path(test::WideOfAscii(target))),
                          std::filesystem::directory_iterator()),
            1);

  ShowRows({{"??.txt", docs}});
  Select({0});
  ListAction(ui::Action::kLeftDoubleClick);
  ui_.ApplyPosted();
  EXPECT_EQ(ui_.StatusText(app::kStateField), "\tNicht eindeutig: ??.txt");
  EXPECT_EQ(ui_.ProgramStarts().size(), 1u);
  EXPECT_EQ(ui_.ShellOpens().size(), 1u) << "only the one file found before";
}
#endif

}  // namespace
}  // namespace tandrel::actions
