// Folder listings on Windows: FindFirstFileA/FindNextFileA with the pattern "*.*".
#include <windows.h>

#include "platform/platform.h"

namespace tandrel::platform {

struct FolderListing::State {
  HANDLE find = INVALID_HANDLE_VALUE;
  WIN32_FIND_DATAA data {};
  bool have_pending = false;  // FindFirstFileA already delivered the first entry
};

FolderListing::FolderListing(const std::string& folder) {
  std::string pattern = folder;
  if (pattern.empty() || (pattern.back() != '\\' && pattern.back() != '/')) pattern += '\\';
  pattern += "*.*";
  auto* state = new State;
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
  return true;
}

}  // namespace tandrel::platform
