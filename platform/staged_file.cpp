// Staged files: what is the same on every system.
#include "platform/staged_file.h"

namespace tandrel::platform {

StagedFile::StagedFile(const std::string& path, std::string_view suffix, std::size_t buffer_size)
    : path_(path), staged_(path + std::string(suffix)), file_(staged_, OpenMode::kCreate, buffer_size) {}

StagedFile::~StagedFile() {
  if (in_place_) return;
  // Closed first: Windows removes no file that is still open.
  (void)file_.Close();
  RemoveFile(staged_);
}

bool StagedFile::Finish(bool written, Durability durability) {
  bool ok = file_.IsOpen() && written;
  if (ok && durability == Durability::kSynced) ok = file_.Sync();
  ok = file_.Close() && ok;
  if (!ok) RemoveFile(staged_);
  finished_ = ok;
  return ok;
}

bool StagedFile::PutInPlace(const FileReplacer& replace) {
  if (!finished_) return false;
  in_place_ = replace(staged_, path_);
  if (!in_place_) RemoveFile(staged_);
  return in_place_;
}

bool StagedFile::Commit(bool written, Durability durability, const FileReplacer& replace) {
  return Finish(written, durability) && PutInPlace(replace);
}

}  // namespace tandrel::platform
