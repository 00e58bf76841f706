// Folder listings: the entries of one folder, folder identities, and the sub-folders of a
// folder sorted as the user sees them.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tandrel::platform {

struct FolderEntry {
  std::string name;
  bool is_folder = false;
  bool is_link = false;  // a link or other reparse point (its target decides is_folder)
};

// What tells two folders apart whatever path leads to them: the volume and the file
// number within it (POSIX: device and inode).
struct FolderIdentity {
  std::uint64_t volume = 0;
  std::uint64_t file = 0;
  friend bool operator==(const FolderIdentity&, const FolderIdentity&) = default;
};

// True where a listing's identity costs next to nothing (the listing holds the open
// folder); elsewhere it costs opening the folder once more.
#ifdef _WIN32
inline constexpr bool kCheapFolderIdentity = false;
#else
inline constexpr bool kCheapFolderIdentity = true;
#endif

// The identity of a folder by its path; none when it cannot be opened.
[[nodiscard]] std::optional<FolderIdentity> IdentifyFolder(const std::string& path);

// Lists the entries of one folder in the order the file system gives them, "." and ".."
// included where the system reports them. On Windows the folder text gets a backslash
// (unless it ends with one) and "*.*", so a drive letter with colon lists the drive's
// root. Folder links count as folders. Names come in their stored form (stored_names.h):
// on Windows a name the code page cannot hold has a "?" for each such character.
class FolderListing {
 public:
  // `folder` is a stored path; on Windows its names with "?" are looked up (paths.h,
  // MatchStoredPath) and a folder that does not match exactly one is not listed.
  explicit FolderListing(const std::string& folder);
  // Lists the folder that `parent`'s last Next gave, by the name the system knows it by:
  // two folders whose stored names are equal are still told apart, and nothing outside
  // `parent` is ever reached. `folder` is its stored path (the parent's, one separator
  // and the entry's name), which Identity falls back on where the system keeps none.
  FolderListing(const FolderListing& parent, const std::string& folder);
  ~FolderListing();
  FolderListing(const FolderListing&) = delete;
  FolderListing& operator=(const FolderListing&) = delete;

  // False when the folder could not be listed (missing, denied, not a folder, too long).
  bool IsOpen() const { return state_ != nullptr; }
  // Fills `entry` with the next entry; false when there are no more.
  bool Next(FolderEntry& entry);
  // The identity of the listed folder; none when the listing is not open or the system
  // does not tell.
  std::optional<FolderIdentity> Identity() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The names of the sub-folders of `folder` ("." and ".." left out), sorted by name as the
// system sorts names for the user: letters before case. Empty when it cannot be listed.
std::vector<std::string> ListSubfolders(const std::string& folder);
// Negative, zero or positive as `a` sorts before, with or after `b` for the user: the
// system's collation without regard to case (Windows), or bytes with ASCII letters folded.
int CompareNamesForDisplay(std::string_view a, std::string_view b);

}  // namespace tandrel::platform
