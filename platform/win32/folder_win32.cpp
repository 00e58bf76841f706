// Folder listings on Windows: FindFirstFileW/FindNextFileW with the pattern "*.*", each
// name handed out in its stored form while the listing keeps the real one for descending.
#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/handles.h"
#include "platform/win32/wide_paths.h"

namespace tandrel::platform {
namespace {

std::wstring WithSeparator(std::wstring folder) {
  if (folder.empty() || (folder.back() != L'\\' && folder.back() != L'/')) folder += L'\\';
  return folder;
}

}  // namespace

struct FolderListing::State {
  std::wstring folder;  // the real path, with a separator at the end
  win32::OwnedFind find;
  WIN32_FIND_DATAW data {};
  bool have_pending = false;  // FindFirstFileW already delivered the first entry

  // False when the folder cannot be listed.
  bool Start(std::wstring real) {
    folder = WithSeparator(std::move(real));
    const HANDLE first = ::FindFirstFileW((folder + L"*.*").c_str(), &data);
    if (first != INVALID_HANDLE_VALUE) find.Reset(first);
    have_pending = static_cast<bool>(find);
    return have_pending;
  }
  // The started listing; null when the folder cannot be listed.
  static std::unique_ptr<State> Started(std::wstring real) {
    auto state = std::make_unique<State>();
    if (!state->Start(std::move(real))) return nullptr;
    return state;
  }
};

namespace {

std::wstring NameOf(const WIN32_FIND_DATAW& data) {
  std::size_t length = 0;
  while (length < MAX_PATH && data.cFileName[length] != L'\0') ++length;
  return std::wstring(data.cFileName, length);
}

std::optional<FolderIdentity> IdentifyWide(std::wstring target) {
  if (target.size() > 3 && (target.back() == L'\\' || target.back() == L'/')) target.pop_back();
  // A drive letter with colon names the drive's current folder; the walk means its root.
  if (target.size() == 2 && target[1] == L':') target += L'\\';
  // Backup semantics open folders; no access right is asked for, only attributes.
  HANDLE h = ::CreateFileW(target.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return std::nullopt;
  const win32::OwnedHandle folder(h);
  BY_HANDLE_FILE_INFORMATION info {};
  if (!::GetFileInformationByHandle(folder.get(), &info)) return std::nullopt;
  return FolderIdentity{
      info.dwVolumeSerialNumber,
      (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

}  // namespace

FolderListing::FolderListing(const std::string& folder) {
  std::optional<std::wstring> real = win32::WidePathOf(folder);
  if (real) state_ = State::Started(std::move(*real));
}

FolderListing::FolderListing(const FolderListing& parent, const std::string&) {
  if (parent.state_ == nullptr) return;
  const std::wstring name = NameOf(parent.state_->data);
  if (name.empty() || name == L"." || name == L"..") return;
  state_ = State::Started(parent.state_->folder + name);
}

FolderListing::~FolderListing() = default;

bool FolderListing::Next(FolderEntry& entry) {
  if (state_ == nullptr) return false;
  if (!state_->have_pending && !::FindNextFileW(state_->find.get(), &state_->data)) return false;
  state_->have_pending = false;
  entry.name = win32::StoredNameOf(state_->data);
  entry.is_folder = (state_->data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  entry.is_link = (state_->data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  return true;
}

std::optional<FolderIdentity> FolderListing::Identity() const {
  if (state_ == nullptr) return std::nullopt;
  return IdentifyWide(state_->folder);
}

std::optional<FolderIdentity> IdentifyFolder(const std::string& path) {
  std::optional<std::wstring> real = win32::WidePathOf(path);
  if (!real) return std::nullopt;
  return IdentifyWide(std::move(*real));
}

}  // namespace tandrel::platform
