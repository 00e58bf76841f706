// Folder listings on Windows: FindFirstFileA/FindNextFileA with the pattern "*.*".
#include <windows.h>

#include "platform/platform.h"

namespace tandrel::platform {

struct FolderListing::State {
  std::string folder;
  HANDLE find = INVALID_HANDLE_VALUE;
  WIN32_FIND_DATAA data {};
  bool have_pending = false;  // FindFirstFileA already delivered the first entry
};

FolderListing::FolderListing(const std::string& folder) {
  std::string pattern = folder;
  if (pattern.empty() || (pattern.back() != '\\' && pattern.back() != '/')) pattern += '\\';
  pattern += "*.*";
  auto* state = new State;
  state->folder = folder;
  state->find = ::FindFirstFileA(pattern.c_str(), &state->data);
  if (state->find == INVALID_HANDLE_VALUE) {
    delete state;
    return;
  }
  state->have_pending = true;
  state_ = state;
}

FolderListing::~FolderListing() {
  if (state_ == nullptr) return;
  ::FindClose(state_->find);
  delete state_;
}

bool FolderListing::Next(FolderEntry& entry) {
  if (state_ == nullptr) return false;
  if (!state_->have_pending && !::FindNextFileA(state_->find, &state_->data)) return false;
  state_->have_pending = false;
  // cFileName is a fixed MAX_PATH array; take it only up to its terminator.
  const char* name = state_->data.cFileName;
  std::size_t length = 0;
  while (length < sizeof(state_->data.cFileName) && name[length] != '\0') ++length;
  entry.name.assign(name, length);
  entry.is_folder = (state_->data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  entry.is_link = (state_->data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  return true;
}

std::optional<FolderIdentity> FolderListing::Identity() const {
  if (state_ == nullptr) return std::nullopt;
  return IdentifyFolder(state_->folder);
}

std::optional<FolderIdentity> IdentifyFolder(const std::string& path) {
  // A drive letter with colon names the drive's current folder; the walk means its root.
  std::string target = path;
  if (target.size() == 2 && target[1] == ':') target += '\\';
  // Backup semantics open folders; no access right is asked for, only attributes.
  HANDLE h = ::CreateFileA(target.c_str(), 0,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info {};
  const BOOL got = ::GetFileInformationByHandle(h, &info);
  ::CloseHandle(h);
  if (!got) return std::nullopt;
  return FolderIdentity{
      info.dwVolumeSerialNumber,
      (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

}  // namespace tandrel::platform
