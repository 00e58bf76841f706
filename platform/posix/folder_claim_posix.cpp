// Folder claims on POSIX systems: an exclusive flock on the folder itself for its
// indexing files, so no lock file is left behind, and on a file of the user's in the
// temporary folder for its running program. flock belongs to the open file, not to the
// process, so two claims inside one process exclude each other too; the kernel drops it
// when the process ends, however it ends.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "platform/platform.h"
#include "platform/posix/descriptor.h"

namespace tandrel::platform {

namespace {

// One file per folder and user, named by the user's id and a hash of the folder's real
// path.
std::string MarkFileOf(const std::string& folder) {
  char resolved[PATH_MAX];
  const std::string path =
      ::realpath(folder.empty() ? "." : folder.c_str(), resolved) != nullptr ? resolved : folder;
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (const char c : path) hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
  char name[64];
  std::snprintf(name, sizeof name, "tandrel-running-%lu-%016llx", static_cast<unsigned long>(::geteuid()),
                static_cast<unsigned long long>(hash));
  return TemporaryFolder() + name;
}

// The mark file, never through a link, and only when it is the user's own: a file that
// another user put under the name in a shared temporary folder is no mark of this user's.
OwnedDescriptor OpenMarkFile(const std::string& folder, int flags) {
  OwnedDescriptor fd(::open(MarkFileOf(folder).c_str(), flags | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!fd) return {};
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) return {};
  return fd;
}

bool LockWithoutWaiting(int fd) {
  int done;
  do {
    done = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (done != 0 && errno == EINTR);
  return done == 0;
}

// True when there is no mark file or nobody holds its lock.
bool NobodyRunsFrom(const std::string& folder) {
  const OwnedDescriptor fd = OpenMarkFile(folder, O_RDONLY);
  return !fd || LockWithoutWaiting(fd.get());
}

}  // namespace

bool FolderClaim::TryClaim(const std::string& folder) {
  Release();
  OwnedDescriptor fd = kind_ == ClaimKind::kRunningProgram
                          ? OpenMarkFile(folder, O_RDWR | O_CREAT)
                          : OwnedDescriptor(::open(folder.empty() ? "." : folder.c_str(),
                                                   O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd || !LockWithoutWaiting(fd.get())) return false;
  handle_.Reset(fd.Release());
  return true;
}

// Closing the last descriptor drops the lock.
void FolderClaim::GiveUp(std::intptr_t handle) { ::close(static_cast<int>(handle)); }

bool WaitUntilNotRunning(const std::string& folder, std::uint32_t timeout_ms) {
  const std::uint32_t start = TickCount();
  for (;;) {
    if (NobodyRunsFrom(folder)) return true;
    if (TickCount() - start >= timeout_ms) return false;
    Sleep(50);
  }
}

}  // namespace tandrel::platform
