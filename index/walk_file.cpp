// The walk file, shared by the run that writes it and the quit sequence that may
// abandon it. One lock per record costs a few nanoseconds next to the listing that
// produced the record, and makes closing it from the main thread safe at any moment.
#include "index/indexing.h"

namespace tandrel::index {

bool WalkFile::Create(const std::string& path) {
  platform::LockGuard hold(lock_);
  file_ = platform::File(path, platform::OpenMode::kCreate);
  path_ = path;
  write_failed_ = false;
  abandoned_ = false;
  return file_.IsOpen();
}

void WalkFile::WriteRecord(std::string_view name, std::string_view folder, std::int8_t kind) {
  platform::LockGuard hold(lock_);
  if (!file_.IsOpen()) return;
  if (!WriteIndexRecord(file_, name, folder, kind)) write_failed_ = true;
}

bool WalkFile::CloseAndStartMerge() {
  platform::LockGuard hold(lock_);
  if (abandoned_ || !file_.IsOpen()) return false;
  const bool complete = file_.Close() && !write_failed_;
  if (!complete) {
    platform::RemoveFile(path_);  // a walk with holes in it is of no use to anyone
    return false;
  }
  merging_.store(1);
  return true;
}

bool WalkFile::Abandon() {
  platform::LockGuard hold(lock_);
  if (!file_.IsOpen()) return false;
  (void)file_.Close();  // the file is removed at once: what it held no longer matters
  platform::RemoveFile(path_);
  abandoned_ = true;
  return true;
}

bool WalkFile::IsOpen() const {
  platform::LockGuard hold(lock_);
  return file_.IsOpen();
}

}  // namespace tandrel::index
