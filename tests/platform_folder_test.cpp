#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "test_support.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace tandrel {
namespace {

using platform::FolderEntry;
using platform::FolderListing;
using platform::kPathSeparator;

class FolderListingTest : public test::ScratchFolder {};

// Name -> folder flag of everything a listing yields.
std::map<std::string, bool> ListAll(const std::string& folder) {
  std::map<std::string, bool> seen;
  FolderListing listing(folder);
  EXPECT_TRUE(listing.IsOpen()) << folder;
  FolderEntry entry;
  while (listing.Next(entry)) {
    EXPECT_FALSE(seen.count(entry.name)) << "listed twice: " << entry.name;
    seen[entry.name] = entry.is_folder;
  }
  return seen;
}

TEST_F(FolderListingTest, ListsFilesFoldersAndDotEntries) {
  ASSERT_TRUE(test::WriteWholeFile(Path("f.txt"), "x"));
  ASSERT_TRUE(test::WriteWholeFile(Path(".hidden"), ""));
  ASSERT_TRUE(platform::CreateFolder(Path("s")));
  ASSERT_TRUE(platform::CreateFolder(Path("empty")));
  ASSERT_TRUE(test::WriteWholeFile(Path(std::string("s") + kPathSeparator + "g.txt"), "y"));

  const std::map<std::string, bool> expected = {
      {".", true}, {"..", true}, {".hidden", false}, {"empty", true},
      {"f.txt", false}, {"s", true}};
  EXPECT_EQ(ListAll(Root()), expected);
  EXPECT_EQ(ListAll(Root() + kPathSeparator), expected) << "a trailing separator is kept";
  const std::map<std::string, bool> inner = {{".", true}, {"..", true}, {"g.txt", false}};
  EXPECT_EQ(ListAll(Path("s")), inner);
}

TEST_F(FolderListingTest, SubfoldersAreSortedByNameWithoutFilesOrDotEntries) {
  for (const char* name : {"beta", "Alpha", "gamma", "Delta"}) ASSERT_TRUE(platform::CreateFolder(Path(name)));
  ASSERT_TRUE(test::WriteWholeFile(Path("aardvark.txt"), "a file"));
  ASSERT_TRUE(platform::CreateFolder(Path(std::string("beta") + kPathSeparator + "inner")));
  EXPECT_EQ(platform::ListSubfolders(Root()),
            (std::vector<std::string>{"Alpha", "beta", "Delta", "gamma"}));
  EXPECT_EQ(platform::ListSubfolders(Path("beta")), std::vector<std::string>{"inner"});
  EXPECT_TRUE(platform::ListSubfolders(Path("gamma")).empty());
  EXPECT_TRUE(platform::ListSubfolders(Path("missing")).empty());
}

TEST_F(FolderListingTest, MissingFoldersAndFilesCannotBeListed) {
  ASSERT_TRUE(test::WriteWholeFile(Path("plain.txt"), "x"));
  for (const std::string& folder : {Path("missing"), Path("plain.txt"),
                                    Path(std::string("missing") + kPathSeparator + "deeper")}) {
    FolderListing listing(folder);
    EXPECT_FALSE(listing.IsOpen()) << folder;
    FolderEntry entry;
    EXPECT_FALSE(listing.Next(entry));
  }
}

TEST_F(FolderListingTest, NamesWithBytesAboveAsciiComeBackUnchanged) {
  // Windows-1252 for "Ärger.txt"; POSIX keeps the bytes as they are.
  const std::string name = "\xC4rger.txt";
  ASSERT_TRUE(test::WriteWholeFile(Path(name), "x"));
  const auto seen = ListAll(Root());
  ASSERT_EQ(seen.count(name), 1u);
  EXPECT_FALSE(seen.at(name));
}

#ifndef _WIN32
TEST_F(FolderListingTest, LinksToFoldersCountAsFolders) {
  ASSERT_TRUE(platform::CreateFolder(Path("target")));
  ASSERT_TRUE(test::WriteWholeFile(Path("file"), "x"));
  ASSERT_EQ(::symlink(Path("target").c_str(), Path("folder-link").c_str()), 0);
  ASSERT_EQ(::symlink(Path("file").c_str(), Path("file-link").c_str()), 0);
  ASSERT_EQ(::symlink(Path("nowhere").c_str(), Path("dangling").c_str()), 0);
  const auto seen = ListAll(Root());
  EXPECT_TRUE(seen.at("folder-link"));
  EXPECT_FALSE(seen.at("file-link"));
  EXPECT_FALSE(seen.at("dangling"));
}
#endif

class SystemTest : public test::ScratchFolder {};

TEST_F(SystemTest, TemporaryFolderEndsWithTheSeparatorAndExists) {
  const std::string temp = platform::TemporaryFolder();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), kPathSeparator);
  EXPECT_TRUE(FolderListing(temp).IsOpen());
}

TEST_F(SystemTest, ProgramPathAndFolder) {
  const std::string path = platform::ProgramPath();
  const std::string folder = platform::ProgramFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), kPathSeparator);
  EXPECT_EQ(path.substr(0, folder.size()), folder);
  EXPECT_NE(path.find("platform_tests"), std::string::npos) << path;
  EXPECT_TRUE(test::FileExists(path));
}

TEST_F(SystemTest, RelativeNamesResolveAgainstTheCurrentFolder) {
  const std::string before = std::filesystem::current_path().string();
  ASSERT_TRUE(platform::SetCurrentFolder(Root()));
  EXPECT_TRUE(test::WriteWholeFile("relative.txt", "here"));
  EXPECT_EQ(test::ReadWholeFile(Path("relative.txt")), "here");
  EXPECT_FALSE(platform::SetCurrentFolder(Path("missing")));
  ASSERT_TRUE(platform::SetCurrentFolder(before));
}

TEST(TimeTest, TicksAdvanceAcrossASleep) {
  const std::uint32_t start = platform::TickCount();
  platform::Sleep(60);
  const std::uint32_t elapsed = platform::TickCount() - start;
  // The coarsest Windows tick is about 16 ms, so allow that much below the sleep.
  EXPECT_GE(elapsed, 40u);
}

}  // namespace
}  // namespace tandrel
