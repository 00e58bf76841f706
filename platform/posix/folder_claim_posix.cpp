// Folder claims on POSIX systems: an exclusive flock on the folder itself, so no lock
// file is left behind. flock belongs to the open folder, not to the process, so two
// claims inside one process exclude each other too; the kernel drops it when the
// process ends, however it ends.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/platform.h"

namespace tandrel::platform {

bool FolderClaim::TryClaim(const std::string& folder) {
  Release();
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  int done;
  do {
    done = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (done != 0 && errno == EINTR);
  if (done != 0) {
    ::close(fd);
    return false;
  }
  handle_ = fd;
  return true;
}

void FolderClaim::Release() {
  if (handle_ == kNoHandle) return;
  ::close(static_cast<int>(handle_));  // closing the last descriptor drops the lock
  handle_ = kNoHandle;
}

}  // namespace tandrel::platform
