// The folder watch at the top level of a root, where every system reports changes (Wine
// reports no deeper ones): made, renamed, deleted, and a folder moved in with what it
// holds and out again. The native differential test covers every depth.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "platform/folder_watch.h"
#include "platform/platform.h"
#include "test_support.h"

namespace tandrel {
namespace {

using Kind = platform::FolderChange::Kind;

class FolderWatchTest : public test::ScratchFolder {
 protected:
  // True once a change of `kind` naming `folder`/`name` came (and, for kMoved, from
  // `from_name` in the same folder).
  bool Came(Kind kind, const std::string& folder, const std::string& name, const std::string& from_name = {}) {
    return test::WaitUntil([&] {
      platform::LockGuard hold(lock_);
      for (const platform::FolderChange& change : changes_) {
        if (change.kind == kind && change.folder == folder && change.name == name &&
            change.from_name == from_name && change.root == 0) {
          return true;
        }
      }
      return false;
    });
  }
  // Every change that came, one per line, for a failure's message.
  std::string Seen() {
    platform::LockGuard hold(lock_);
    std::string seen = "changes that came:";
    for (const platform::FolderChange& change : changes_) {
      seen += "\n  " + std::to_string(static_cast<int>(change.kind)) + (change.is_folder ? " folder " : " ") +
              change.folder + " | " + change.name + (change.from_name.empty() ? "" : " from " + change.from_name);
    }
    return seen;
  }
  platform::FolderWatch::Receiver Receiver() {
    return [this](std::vector<platform::FolderChange>& batch) {
      platform::LockGuard hold(lock_);
      changes_.insert(changes_.end(), batch.begin(), batch.end());
    };
  }

 private:
  platform::Mutex lock_;
  std::vector<platform::FolderChange> changes_;
};

TEST_F(FolderWatchTest, ReportsTheTopLevelAndListsAFolderMovedIn) {
  namespace fs = std::filesystem;
  const std::string root = Path("Wurzel");
  ASSERT_TRUE(platform::CreateFolder(root));
  ASSERT_TRUE(platform::CreateFolder(Path("draussen")));
  ASSERT_TRUE(platform::CreateFolder(Path("draussen/Mappe")));
  ASSERT_TRUE(test::WriteWholeFile(Path("draussen/Mappe/innen.txt"), "i"));

  platform::FolderWatch watch;
  ASSERT_TRUE(watch.Start({root, Path("fehlt")}, Receiver()));
  EXPECT_TRUE(watch.IsLive(0));
  EXPECT_FALSE(watch.IsLive(1)) << "a missing root is not live";

  const std::string made = root + platform::kPathSeparator + "\xC4rger.txt";
  ASSERT_TRUE(test::WriteWholeFile(made, "x"));
  EXPECT_TRUE(Came(Kind::kAppeared, root, "\xC4rger.txt"));
  ASSERT_TRUE(platform::RemoveFile(made));
  EXPECT_TRUE(Came(Kind::kVanished, root, "\xC4rger.txt"));
  ASSERT_TRUE(test::WriteWholeFile(root + platform::kPathSeparator + "alt.txt", "x"));
  fs::rename(root + platform::kPathSeparator + "alt.txt", root + platform::kPathSeparator + "neu.txt");
  EXPECT_TRUE(Came(Kind::kMoved, root, "neu.txt", "alt.txt"));

  // The system names the folder only; the watch lists what it brought.
  const std::string moved_in = root + platform::kPathSeparator + "Mappe";
  fs::rename(Path("draussen/Mappe"), moved_in);
  EXPECT_TRUE(Came(Kind::kAppeared, root, "Mappe")) << Seen();
  EXPECT_TRUE(Came(Kind::kAppeared, moved_in, "innen.txt")) << Seen();
  fs::rename(moved_in, Path("draussen/weg"));
  EXPECT_TRUE(Came(Kind::kVanished, root, "Mappe"));
  watch.Stop();
}

}  // namespace
}  // namespace tandrel
