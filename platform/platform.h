// The operating system as the rest of Tandrel sees it: files (file.h), folder listings
// (folder_listing.h), well-known paths and the process (paths.h), the millisecond clock
// (clock.h), threads, locks and waits (threads.h), and here folder claims. Text is bytes
// of the ANSI code page; names the code page cannot hold are kept in their stored form
// (stored_names.h), which the Windows layer alone turns back into the system's names.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "platform/clock.h"
#include "platform/file.h"
#include "platform/folder_listing.h"
#include "platform/owned.h"
#include "platform/paths.h"
#include "platform/threads.h"

namespace tandrel::platform {

// ---------------------------------------------------------------------------------------
// Folder claims

// What a claim on a folder stands for; a folder carries one claim of each kind at most.
enum class ClaimKind {
  kIndexFiles,      // the folder's indexing files, held by the run that writes them
  kRunningProgram,  // the folder's main program, held from its start to its end
};

// An exclusive claim on a folder, held by at most one claimant at a time: processes and
// threads alike. Windows: a named mutex per kind, folder and user, in every session of
// the user, which other users can neither hold nor open, so that none of them can stand
// in the way of the user's program; POSIX: flock on the folder (indexing files) or on a
// file of the user's in the temporary folder (running program), since the program's
// folder may hold its index too. A process that ends gives its claims up, however it
// ends. Windows ties the claim to the thread that made it: release it on that thread.
// Move-only; destroying it releases the claim.
class FolderClaim {
 public:
  explicit FolderClaim(ClaimKind kind = ClaimKind::kIndexFiles) : kind_(kind) {}

  // One attempt, without waiting; false when another claimant holds the folder or the
  // claim cannot be made at all.
  [[nodiscard]] bool TryClaim(const std::string& folder);
  void Release() { handle_.Reset(); }

 private:
  // Gives the claim up: the system's own (a descriptor, or a mutex on Windows).
  static void GiveUp(std::intptr_t handle);
  ClaimKind kind_;
  Owned<std::intptr_t, &FolderClaim::GiveUp, std::intptr_t{-1}> handle_;
};

// True once nobody holds the running-program claim of `folder`, waiting at most
// `timeout_ms`.
bool WaitUntilNotRunning(const std::string& folder, std::uint32_t timeout_ms);

}  // namespace tandrel::platform
