// The folder scanner on real trees.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "indexing_support.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace tandrel::index {
namespace {

using test::Join;
using test::Record;

class ScanFolderTest : public test::ScratchFolder {
 protected:
  void SetUp() override {
    ScratchFolder::SetUp();
    tree_ = Path("X");
    ASSERT_TRUE(platform::CreateFolder(tree_));
  }
  std::string walk_file() const { return Path("dbtemp.db"); }
  void MakeFile(const std::string& path) { ASSERT_TRUE(test::WriteWholeFile(path, "x")); }
  std::string tree_;
};

std::ptrdiff_t PositionOf(const std::vector<Record>& records, const Record& record) {
  const auto found = std::find(records.begin(), records.end(), record);
  return found == records.end() ? -1 : found - records.begin();
}

TEST_F(ScanFolderTest, RecordsEveryEntryDepthFirstWithTheFolderItLiesIn) {
  MakeFile(Join(tree_, "f.txt"));
  MakeFile(Join(tree_, ".hidden"));  // dot files are hidden files under Wine too
  ASSERT_TRUE(platform::CreateFolder(Join(tree_, "s")));
  ASSERT_TRUE(platform::CreateFolder(Join(tree_, "t")));
  ASSERT_TRUE(platform::CreateFolder(Join(tree_, "empty")));
  MakeFile(Join(Join(tree_, "s"), "g.txt"));
  ASSERT_TRUE(platform::CreateFolder(Join(Join(tree_, "s"), "u")));
  MakeFile(Join(Join(Join(tree_, "s"), "u"), "\xC4rger.txt"));
  MakeFile(Join(Join(tree_, "t"), "h.txt"));

  IndexFileCount.store(10);
  const std::vector<Record> records = test::Walk(walk_file(), {tree_});
  EXPECT_EQ(IndexFileCount.load(), 10 + 5) << "files counted, folders not";

  const std::string s = Join(tree_, "s");
  const std::string u = Join(s, "u");
  std::vector<Record> expected = {
      {"f.txt", tree_, 0}, {".hidden", tree_, 0}, {"s", tree_, 1},      {"t", tree_, 1},
      {"empty", tree_, 1}, {"g.txt", s, 0},       {"u", s, 1},          {"\xC4rger.txt", u, 0},
      {"h.txt", Join(tree_, "t"), 0}};
  std::vector<Record> sorted = records;
  std::sort(sorted.begin(), sorted.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(sorted, expected);

  // Pre-order: a folder's contents follow its record directly, before its next sibling.
  const auto at = [&](const Record& r) { return PositionOf(records, r); };
  EXPECT_EQ(at({"\xC4rger.txt", u, 0}), at({"u", s, 1}) + 1);
  EXPECT_EQ(at({"h.txt", Join(tree_, "t"), 0}), at({"t", tree_, 1}) + 1);
  const auto s_at = at({"s", tree_, 1});
  const auto g_at = at({"g.txt", s, 0});
  const auto u_at = at({"u", s, 1});
  EXPECT_GT(std::min(g_at, u_at), s_at);
  EXPECT_LE(std::max(g_at, u_at + 1), s_at + 3) << "s's subtree is three records long";
}

TEST_F(ScanFolderTest, AFolderStringIsUsedUnchangedEvenWithATrailingSeparator) {
  ASSERT_TRUE(platform::CreateFolder(Join(tree_, "s")));
  MakeFile(Join(Join(tree_, "s"), "g.txt"));
  const std::string listed = tree_ + platform::kPathSeparator;
  const std::vector<Record> records = test::Walk(walk_file(), {listed});
  const std::string doubled = listed + platform::kPathSeparator + "s";
  EXPECT_EQ(records, (std::vector<Record>{{"s", listed, 1}, {"g.txt", doubled, 0}}));
}

TEST_F(ScanFolderTest, MissingAndEmptyFoldersAndPlainFilesContributeNothing) {
  MakeFile(Path("plain.txt"));
  IndexFileCount.store(0);
  const std::vector<Record> records =
      test::Walk(walk_file(), {Path("missing"), tree_, Path("plain.txt")});
  EXPECT_TRUE(records.empty());
  EXPECT_FALSE(ScanFolder(Path("missing")));
  EXPECT_FALSE(ScanFolder(Path("plain.txt")));
  EXPECT_TRUE(ScanFolder(tree_)) << "empty, but listed";
  EXPECT_EQ(IndexFileCount.load(), 0);
  EXPECT_EQ(test::ReadWholeFile(walk_file()), "");
}

TEST_F(ScanFolderTest, AFolderListedTwiceIsWalkedTwice) {
  MakeFile(Join(tree_, "f.txt"));
  const std::vector<Record> records = test::Walk(walk_file(), {tree_, tree_});
  EXPECT_EQ(records, (std::vector<Record>{{"f.txt", tree_, 0}, {"f.txt", tree_, 0}}));
}

// A tree with folder links: top/a/b holds deep.txt and links back to top and to a;
// top/a/to-other leads to other, which holds o.txt and a link back into a. Built here
// on POSIX; Wine cannot make links, so its build prepares the same tree beforehand.
std::string LinkTreeRoot(const std::string& scratch) {
#ifdef TANDREL_PREPARED_LINK_TREE
  (void)scratch;
  return TANDREL_PREPARED_LINK_TREE;
#else
  const auto link = [](const std::string& target, const std::string& at) {
    std::error_code error;
    std::filesystem::create_directory_symlink(target, at, error);
    EXPECT_FALSE(error) << at;
  };
  const std::string top = Join(scratch, "top");
  const std::string b = Join(Join(top, "a"), "b");
  std::filesystem::create_directories(b);
  std::filesystem::create_directories(Join(scratch, "other"));
  EXPECT_TRUE(test::WriteWholeFile(Join(b, "deep.txt"), "x"));
  EXPECT_TRUE(test::WriteWholeFile(Join(Join(scratch, "other"), "o.txt"), "x"));
  link("../..", Join(b, "to-top"));
  link("..", Join(b, "to-parent"));
  link("../../other", Join(Join(top, "a"), "to-other"));
  link("../top/a", Join(Join(scratch, "other"), "back-into-a"));
  return scratch;
#endif
}

TEST_F(ScanFolderTest, LinksAreFollowedButALinkBackToAFolderOnThePathIsNotEnteredAgain) {
  const std::string root = LinkTreeRoot(Root());
  const std::string top = Join(root, "top");
  const std::string a = Join(top, "a");
  const std::string b = Join(a, "b");
  std::vector<Record> records = test::Walk(walk_file(), {top});
  std::sort(records.begin(), records.end());
  const std::string to_other = Join(a, "to-other");
  std::vector<Record> expected = {
      {"a", top, 1},          {"b", a, 1},         {"deep.txt", b, 0},
      {"to-top", b, 1},       {"to-parent", b, 1}, {"to-other", a, 1},
      {"o.txt", to_other, 0}, {"back-into-a", to_other, 1}};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(records, expected) << "a link to a folder off the path is walked, once";
}

#ifndef _WIN32
// Root reads every folder whatever its rights, so the walk then runs as nobody.
TEST_F(ScanFolderTest, AnUnreadableFolderHasItsRecordAndNothingBelowIt) {
  const std::string locked = Join(tree_, "locked");
  ASSERT_TRUE(platform::CreateFolder(locked));
  MakeFile(Join(locked, "secret.txt"));
  MakeFile(Join(tree_, "open.txt"));
  ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
  ASSERT_EQ(::chmod(Root().c_str(), 0777), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::geteuid() == 0 && ::setuid(65534) != 0) ::_exit(3);
    if (!IndexTempFile.Create(walk_file())) ::_exit(4);
    ScanFolder(tree_);
    ::_exit(IndexTempFile.CloseAndStartMerge() ? 0 : 5);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ::chmod(locked.c_str(), 0755);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);
  std::vector<Record> records = test::ReadRecords(walk_file());
  std::sort(records.begin(), records.end());
  EXPECT_EQ(records, (std::vector<Record>{{"locked", tree_, 1}, {"open.txt", tree_, 0}}));
}
#endif

#ifndef _WIN32
// POSIX file systems allow CR and LF in names; in a record they would end the text.
TEST_F(ScanFolderTest, NamesHoldingCrOrLfAreLeftOutWithEverythingBelowThem) {
  MakeFile(Join(tree_, "line\nbreak.txt"));
  MakeFile(Join(tree_, "carriage\rreturn.txt"));
  ASSERT_TRUE(platform::CreateFolder(Join(tree_, "two\r\nlines")));
  MakeFile(Join(Join(tree_, "two\r\nlines"), "inside.txt"));
  MakeFile(Join(tree_, "plain.txt"));
  IndexFileCount.store(0);
  const std::vector<Record> records = test::Walk(walk_file(), {tree_});
  EXPECT_EQ(records, (std::vector<Record>{{"plain.txt", tree_, 0}}));
  EXPECT_EQ(IndexFileCount.load(), 1);
}
#endif

#ifdef _WIN32
// Names made in UTF-16 that the code page cannot hold: stored with a "?" for each such
// character, walked by their real names, and never a way out of the walked folder (a
// folder named "..\uFF3Cout" once became "..\out").
TEST_F(ScanFolderTest, NamesTheCodePageCannotHoldAreWalkedByTheirRealNamesInsideTheFolder) {
  const std::wstring tree = test::WideOfAscii(tree_);
  ASSERT_TRUE(test::MakeWideFolder(tree + L"\\..\uFF3Cout"));
  ASSERT_TRUE(test::WriteWideFile(tree + L"\\..\uFF3Cout\\inner.txt", "1"));
  ASSERT_TRUE(platform::CreateFolder(Path("out")));  // where "X\..\out" would lead
  MakeFile(Join(Path("out"), "outside.txt"));
  ASSERT_TRUE(test::MakeWideFolder(tree + L"\\\u65E5\u672C"));  // two folders stored as "??"
  ASSERT_TRUE(test::WriteWideFile(tree + L"\\\u65E5\u672C\\a.txt", "2"));
  ASSERT_TRUE(test::MakeWideFolder(tree + L"\\\u4E2D\u56FD"));
  ASSERT_TRUE(test::WriteWideFile(tree + L"\\\u4E2D\u56FD\\b.txt", "3"));
  ASSERT_TRUE(test::WriteWideFile(tree + L"\\q\uFF02uote \u0141\u00F3d\u017A.txt", "4"));

  std::vector<Record> records = test::Walk(walk_file(), {tree_});
  for (const auto& [name, folder, kind] : records) {
    EXPECT_EQ(name.find_first_of("\\/:\""), std::string::npos) << name;
    EXPECT_TRUE(folder == tree_ || folder.starts_with(tree_ + "\\")) << folder;
  }
  const std::string dots = Join(tree_, "..?out");
  const std::string unknown = Join(tree_, "??");
  std::vector<Record> expected = {{"..?out", tree_, 1},       {"inner.txt", dots, 0},
                                  {"??", tree_, 1},         {"??", tree_, 1},
                                  {"a.txt", unknown, 0},    {"b.txt", unknown, 0},
                                  {"q?uote ?\xF3" "d?.txt", tree_, 0}};
  std::sort(records.begin(), records.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(records, expected);
}
#endif

TEST_F(ScanFolderTest, AnAbandonedWalkFileIsDeletedAndTakesNoFurtherRecords) {
  MakeFile(Join(tree_, "f.txt"));
  ASSERT_TRUE(IndexTempFile.Create(walk_file()));
  ScanFolder(tree_);
  EXPECT_TRUE(IndexTempFile.IsOpen());
  EXPECT_TRUE(IndexTempFile.Abandon());
  EXPECT_FALSE(IndexTempFile.IsOpen());
  EXPECT_FALSE(test::FileExists(walk_file()));
  ScanFolder(tree_);  // the walk goes on, writing nowhere
  EXPECT_FALSE(test::FileExists(walk_file()));
  EXPECT_FALSE(IndexTempFile.CloseAndStartMerge()) << "an abandoned walk is never merged";
  EXPECT_EQ(IndexMerging.load(), 0);
  EXPECT_FALSE(IndexTempFile.Abandon());
}

}  // namespace
}  // namespace tandrel::index
