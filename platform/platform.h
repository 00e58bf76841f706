// The operating system as the rest of Tandrel sees it: files (file.h), folder listings
// (folder_listing.h), well-known paths and the process (paths.h), the millisecond clock
// (clock.h), threads, locks and waits (threads.h), and here folder claims. Text is bytes
// of the ANSI code page and is never converted; paths are passed through to the system
// unchanged.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "platform/clock.h"
#include "platform/file.h"
#include "platform/folder_listing.h"
#include "platform/paths.h"
#include "platform/threads.h"

namespace tandrel::platform {

// ---------------------------------------------------------------------------------------
// Folder claims

// An exclusive claim on a folder's indexing files, held by at most one claimant at a
// time: processes and threads alike. Windows: a named mutex per folder and user, in every
// session of the user, which other users can neither hold nor open, so that none of them
// can stand in the way of the user's runs; POSIX: flock on the folder. A process that
// ends gives its claims up. Windows ties the claim to the thread that made it: release
// it on that thread.
class FolderClaim {
 public:
  FolderClaim() = default;
  ~FolderClaim() { Release(); }
  FolderClaim(FolderClaim&& other) noexcept : handle_(std::exchange(other.handle_, kNoHandle)) {}
  FolderClaim& operator=(FolderClaim&& other) noexcept {
    if (this != &other) {
      Release();
      handle_ = std::exchange(other.handle_, kNoHandle);
    }
    return *this;
  }
  FolderClaim(const FolderClaim&) = delete;
  FolderClaim& operator=(const FolderClaim&) = delete;

  // One attempt, without waiting; false when another claimant holds the folder or the
  // claim cannot be made at all.
  bool TryClaim(const std::string& folder);
  void Release();

 private:
  static constexpr std::intptr_t kNoHandle = -1;
  std::intptr_t handle_ = kNoHandle;
};

}  // namespace tandrel::platform
