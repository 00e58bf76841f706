// Folder claims on Windows: a named mutex whose name stands for the folder. The name
// is made from the folder's full path, upper-cased, so that every spelling of one
// folder meets the same mutex; the global namespace reaches the other sessions of the
// machine (two users logging on start two re-indexers in one program folder).
#include <windows.h>
// After windows.h: it relies on its types.
#include <sddl.h>

#include <cstdio>
#include <utility>
#include <vector>

#include "platform/claim_namespace.h"
#include "platform/platform.h"
#include "platform/win32/handles.h"
#include "platform/win32/folder_names.h"

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

namespace {

// Full rights on the mutex for every user who logs on, the system and administrators,
// so that a second user's run opens the first one's claim instead of being denied.
constexpr char kClaimSecurity[] =
    "D:(A;;0x001F0001;;;AU)(A;;0x001F0001;;;SY)(A;;0x001F0001;;;BA)";

ClaimAttempt AttemptOf(HANDLE handle) {
  if (handle != nullptr) return ClaimAttempt::kOk;
  switch (::GetLastError()) {
    case ERROR_ACCESS_DENIED: return ClaimAttempt::kAccessDenied;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return ClaimAttempt::kNotFound;
    default: return ClaimAttempt::kOtherFailure;
  }
}

HANDLE OpenClaimMutex(const std::string& name) {
  const std::string global = "Global\\" + name;
  win32::OwnedSecurityDescriptor descriptor;
  PSECURITY_DESCRIPTOR made = nullptr;
  if (::ConvertStringSecurityDescriptorToSecurityDescriptorA(kClaimSecurity, SDDL_REVISION_1, &made,
                                                             nullptr)) {
    descriptor = win32::OwnedSecurityDescriptor(made);
  }
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
  HANDLE created = ::CreateMutexA(descriptor ? &attributes : nullptr, FALSE, global.c_str());
  const ClaimAttempt create = AttemptOf(created);
  HANDLE opened = nullptr;
  ClaimAttempt open = ClaimAttempt::kNotFound;
  if (create == ClaimAttempt::kAccessDenied) {
    opened = ::OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, global.c_str());
    open = AttemptOf(opened);
  }
  switch (ChooseClaimPlace(create, open)) {
    case ClaimPlace::kMachineWide: return created != nullptr ? created : opened;
    case ClaimPlace::kTakenElsewhere: return nullptr;
    case ClaimPlace::kSessionLocal: break;
  }
  return ::CreateMutexA(nullptr, FALSE, ("Local\\" + name).c_str());
}

}  // namespace

bool FolderClaim::TryClaim(const std::string& folder) {
  Release();
  HANDLE mutex = OpenClaimMutex(FolderObjectName("Tandrel-Index-", folder));
  if (mutex == nullptr) return false;
  const DWORD waited = ::WaitForSingleObject(mutex, 0);
  // An abandoned mutex was held by a process that ended without letting go: its run
  // is over, and the claim is ours.
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
    ::CloseHandle(mutex);
    return false;
  }
  handle_ = reinterpret_cast<std::intptr_t>(mutex);
  return true;
}

void FolderClaim::Release() {
  if (handle_ == kNoHandle) return;
  HANDLE mutex = reinterpret_cast<HANDLE>(handle_);
  ::ReleaseMutex(mutex);
  ::CloseHandle(mutex);
  handle_ = kNoHandle;
}

}  // namespace tandrel::platform
