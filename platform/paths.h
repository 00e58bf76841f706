// Well-known paths and the process: the path separator, the temporary and the program's
// folder, the current folder, the standard streams and the end of the process.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace tandrel::platform {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// The user's temporary folder in its long form, ending with the path separator.
std::string TemporaryFolder();

// A folder made for one task inside the temporary folder under a name nobody had, open
// to its user alone (POSIX: mkdtemp, mode 0700; Windows: an access list that names the
// user alone); removed with the object once empty.
class PrivateFolder {
 public:
  // None when no folder could be made.
  static std::optional<PrivateFolder> Create();
  ~PrivateFolder();
  PrivateFolder(PrivateFolder&& other) noexcept : path_(std::exchange(other.path_, {})) {}
  PrivateFolder& operator=(PrivateFolder&&) = delete;
  PrivateFolder(const PrivateFolder&) = delete;
  PrivateFolder& operator=(const PrivateFolder&) = delete;

  // Ends with the path separator.
  const std::string& Path() const { return path_; }

 private:
  explicit PrivateFolder(std::string path) : path_(std::move(path)) {}
  std::string path_;
};

// The full path of the running executable.
std::string ProgramPath();
// The folder part of `path`: cut after its last "\" or "/", empty without either.
std::string FolderOfPath(std::string_view path);
// FolderOfPath(ProgramPath()).
std::string ProgramFolder();
bool SetCurrentFolder(const std::string& path);
// Standard output passes bytes through unchanged (no LF to CR LF on Windows).
void UseBinaryStandardOutput();
// True when standard error goes to a terminal (a console on Windows).
bool StandardErrorIsTerminal();
// Ends the process at once: no destructors run, and running threads end with it.
[[noreturn]] void EndProcess(int code);
// Libraries that the process loads while it runs come from the system folder alone, never
// from the program's folder or the current folder, where whoever can write there could
// put one under a system library's name (Windows; nothing to do elsewhere). The first
// call of every program.
void LoadLibrariesFromSystemFolderOnly();

}  // namespace tandrel::platform
