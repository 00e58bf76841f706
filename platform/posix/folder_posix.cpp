// Folder listings on POSIX systems.
#include <dirent.h>
#include <sys/stat.h>

#include "platform/owned.h"
#include "platform/platform.h"

namespace tandrel::platform {

using OwnedFolderStream = Owned<DIR*, ::closedir>;

struct FolderListing::State {
  OwnedFolderStream dir;
  std::string folder;  // with a trailing separator, for stat() of links and unknown types
};

FolderListing::FolderListing(const std::string& folder) {
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return;
  state_.reset(new State{OwnedFolderStream(dir), folder});
  if (!folder.empty() && folder.back() != kPathSeparator) state_->folder += kPathSeparator;
}

// Names are bytes here: the stored path is the folder's own.
FolderListing::FolderListing(const FolderListing&, const std::string& folder) : FolderListing(folder) {}

FolderListing::~FolderListing() = default;

bool FolderListing::Next(FolderEntry& entry) {
  if (state_ == nullptr) return false;
  const dirent* d = ::readdir(state_->dir.get());
  if (d == nullptr) return false;
  entry.name.assign(d->d_name);
  entry.is_link = d->d_type == DT_LNK;
  if (d->d_type == DT_DIR) {
    entry.is_folder = true;
  } else if (d->d_type == DT_LNK || d->d_type == DT_UNKNOWN) {
    // Links are followed: a link to a folder is listed as a folder.
    struct stat st {};
    const std::string full = state_->folder + entry.name;
    entry.is_folder = ::stat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    if (d->d_type == DT_UNKNOWN) {
      entry.is_link = ::lstat(full.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
    }
  } else {
    entry.is_folder = false;
  }
  return true;
}

std::optional<FolderIdentity> FolderListing::Identity() const {
  if (state_ == nullptr) return std::nullopt;
  struct stat st {};
  if (::fstat(::dirfd(state_->dir.get()), &st) != 0) return std::nullopt;
  return FolderIdentity{static_cast<std::uint64_t>(st.st_dev),
                        static_cast<std::uint64_t>(st.st_ino)};
}

std::optional<FolderIdentity> IdentifyFolder(const std::string& path) {
  struct stat st {};
  if (::stat(path.empty() ? "." : path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    return std::nullopt;
  }
  return FolderIdentity{static_cast<std::uint64_t>(st.st_dev),
                        static_cast<std::uint64_t>(st.st_ino)};
}

}  // namespace tandrel::platform
