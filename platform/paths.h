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
// Keeps the requests to end the process (Ctrl+C, termination, hang-up) for
// WaitForEndRequest instead of ending it: called before any thread is started, since the
// threads started afterwards keep them too.
void HoldEndRequests();
// Waits until the user or the system asks the process to end (POSIX; on Windows such a
// request ends the process as usual, and this waits for ever).
void WaitForEndRequest();
// What a stored path (its names in the stored form of stored_names.h) stands for on the
// system. A path whose names the code page holds stands for itself; a path with a name
// stored with "?" is looked up folder by folder in the system's listings, and only a path
// that matches exactly one entry at every such step can be acted on.
enum class StoredPathMatch {
  kOne,      // one file or folder (or a path that names no "?" at all)
  kNone,     // nothing in the listing has that stored form (or a folder on the way is missing)
  kSeveral,  // two or more names of one folder share the stored form: which one is meant is unknown
};
// Windows looks the path up as above; POSIX systems keep names as bytes, so every path
// stands for itself (kOne).
[[nodiscard]] StoredPathMatch MatchStoredPath(const std::string& path);

// Ends the process at once: no destructors run, and running threads end with it.
[[noreturn]] void EndProcess(int code);
// Libraries that the process loads while it runs come from the system folder alone, never
// from the program's folder or the current folder, where whoever can write there could
// put one under a system library's name (Windows; nothing to do elsewhere). The first
// call of every program.
void LoadLibrariesFromSystemFolderOnly();

}  // namespace tandrel::platform
