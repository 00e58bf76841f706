// The one way to write a file that must survive: written under a temporary name beside
// it, then put in its place in one step.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "platform/file.h"

namespace tandrel::platform {

// Puts `from` in the place of `to` in one step (ReplaceFileAtomically, ReplaceFileWhenFree
// or a stand-in of a test).
using FileReplacer = std::function<bool(const std::string& from, const std::string& to)>;

// Whether the staged bytes go to the disk before they take the target's place: a file
// that a power cut must find complete needs it; one that is checked when read (and
// dropped when damaged) can spare the wait.
enum class Durability { kSynced, kUnsynced };

// A new version of the file at `path`, written at path + `suffix` (created or emptied).
// Whoever opens `path` meanwhile, or after a failure or a crash at any point, finds the
// previous version, complete. What was not put in place is removed with the object.
class StagedFile {
 public:
  explicit StagedFile(const std::string& path, std::string_view suffix = ".new",
                      std::size_t buffer_size = File::kDefaultBufferSize);
  ~StagedFile();
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;

  bool IsOpen() const { return file_.IsOpen(); }
  // Where the new version's bytes go.
  File& Output() { return file_; }

  // Closes the staged file, its bytes on the disk first when `durability` asks for it.
  // False when `written` is (a write the caller saw fail) or a step fails; the staged file
  // is then gone and the target as it was.
  [[nodiscard]] bool Finish(bool written, Durability durability);
  // Puts the finished file in the target's place with `replace`; false, the staged file
  // gone and the target as it was, when that is refused.
  [[nodiscard]] bool PutInPlace(const FileReplacer& replace = ReplaceFileAtomically);
  // Finish, then PutInPlace.
  [[nodiscard]] bool Commit(bool written, Durability durability,
                            const FileReplacer& replace = ReplaceFileAtomically);

 private:
  std::string path_;
  std::string staged_;
  File file_;
  bool finished_ = false;
  bool in_place_ = false;
};

}  // namespace tandrel::platform
