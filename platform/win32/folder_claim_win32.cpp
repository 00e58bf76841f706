// The mutexes that stand for a folder and a user (folder_names.h), and the folder claims
// made of them. The name is made from the folder's full path, upper-cased, so that every
// spelling of one folder meets the same mutex.
#include <windows.h>

#include <cstdio>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/folder_names.h"
#include "platform/win32/handles.h"
#include "platform/win32/user_security.h"

namespace tandrel::platform {
namespace {

std::string FullPathOf(const std::string& folder) {
  std::vector<char> buffer(MAX_PATH + 1);
  const char* path = folder.empty() ? "." : folder.c_str();
  for (;;) {
    const DWORD n = ::GetFullPathNameA(path, static_cast<DWORD>(buffer.size()), buffer.data(),
                                       nullptr);
    if (n == 0) return folder;
    if (n < buffer.size()) return std::string(buffer.data(), n);
    buffer.resize(n + 1);
  }
}

const char* PrefixOf(ClaimKind kind) {
  return kind == ClaimKind::kRunningProgram ? "Tandrel-Running-" : "Tandrel-Index-";
}

// MUTEX_ALL_ACCESS, for the user alone.
constexpr char kMutexRights[] = "0x001F0001";
constexpr const char* kNamespaces[] = {"Global\\", "Local\\"};

std::string UserFolderName(std::string_view prefix, const std::string& folder) {
  return FolderObjectName(std::string(prefix) + win32::UserSidText() + "-", folder);
}

// A handle to an object under the user's name that another user made is no claim of the
// user's: whoever made it decides who holds it.
win32::OwnedHandle KeepIfOwn(HANDLE handle) {
  win32::OwnedHandle owned(handle);
  if (owned && !win32::OwnedByUser(handle)) owned.Reset();
  return owned;
}

win32::OwnedHandle CreateFolderMutex(std::string_view prefix, const std::string& folder) {
  const std::string name = UserFolderName(prefix, folder);
  const win32::OwnedSecurityDescriptor security = win32::UserOnlySecurity(kMutexRights);
  // Without a descriptor (the system did not tell who the user is) only the session's
  // namespace is closed to others.
  if (!security) return win32::OwnedHandle(::CreateMutexA(nullptr, FALSE, ("Local\\" + name).c_str()));
  SECURITY_ATTRIBUTES attributes{sizeof attributes, security.get(), FALSE};
  for (const char* space : kNamespaces) {
    // Creates the mutex, or opens the existing one with every right when it lets us.
    if (win32::OwnedHandle mutex = KeepIfOwn(::CreateMutexA(&attributes, FALSE, (space + name).c_str()))) {
      return mutex;
    }
  }
  return {};
}

}  // namespace

// FNV-1a over the upper-cased full path, trailing separators dropped.
std::string FolderObjectName(std::string_view prefix, const std::string& folder) {
  std::string path = FullPathOf(folder);
  while (path.size() > 3 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  if (!path.empty()) ::CharUpperBuffA(path.data(), static_cast<DWORD>(path.size()));
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (const char c : path) {
    hash = (hash ^ static_cast<unsigned char>(c == '/' ? '\\' : c)) * 0x100000001b3ULL;
  }
  char name[24];
  std::snprintf(name, sizeof name, "%016llx", static_cast<unsigned long long>(hash));
  return std::string(prefix) + name;
}

win32::OwnedHandle TakeFolderMutex(std::string_view prefix, const std::string& folder) {
  win32::OwnedHandle mutex = CreateFolderMutex(prefix, folder);
  if (!mutex) return {};
  const DWORD waited = ::WaitForSingleObject(mutex.get(), 0);
  // An abandoned mutex was held by a process that ended without letting go: whatever it
  // did is over, and the mutex is ours.
  if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) return mutex;
  return {};
}

void GiveUpFolderMutex(HANDLE mutex) {
  ::ReleaseMutex(mutex);
  ::CloseHandle(mutex);
}

win32::OwnedHandle OpenFolderMutex(std::string_view prefix, const std::string& folder) {
  const std::string name = UserFolderName(prefix, folder);
  for (const char* space : kNamespaces) {
    const std::string full = space + name;
    constexpr DWORD kRights = SYNCHRONIZE | MUTEX_MODIFY_STATE | READ_CONTROL;
    if (win32::OwnedHandle mutex = KeepIfOwn(::OpenMutexA(kRights, FALSE, full.c_str()))) return mutex;
  }
  return {};
}

bool FolderClaim::TryClaim(const std::string& folder) {
  Release();
  win32::OwnedHandle mutex = TakeFolderMutex(PrefixOf(kind_), folder);
  if (!mutex) return false;
  handle_.Reset(reinterpret_cast<std::intptr_t>(mutex.Release()));
  return true;
}

void FolderClaim::GiveUp(std::intptr_t handle) { GiveUpFolderMutex(reinterpret_cast<HANDLE>(handle)); }

bool WaitUntilNotRunning(const std::string& folder, std::uint32_t timeout_ms) {
  const win32::OwnedHandle mutex = OpenFolderMutex(PrefixOf(ClaimKind::kRunningProgram), folder);
  if (!mutex) return true;  // nobody has made it, or everybody has ended
  // An abandoned mutex was held by a process that has ended.
  const DWORD waited = ::WaitForSingleObject(mutex.get(), timeout_ms);
  const bool ended = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
  if (ended) ::ReleaseMutex(mutex.get());
  return ended;
}

}  // namespace tandrel::platform
