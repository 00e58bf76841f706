// The operating system as the rest of Tandrel sees it: files, folder listings, a few
// well-known paths, the millisecond clock and threads (threads.h). Text is bytes of the
// ANSI code page and is never converted; paths are passed through to the system unchanged.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/threads.h"

namespace tandrel::platform {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// ---------------------------------------------------------------------------------------
// Files

// What tells one version of a file from another without reading it: its size and the
// time of its last write, in the system's own units.
struct FileStamp {
  std::uint64_t size = 0;
  std::int64_t write_time = 0;
  friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

enum class OpenMode {
  kRead,        // reading only, the file must exist; others may read it too
  kReadWrite,   // reading and writing, created empty when missing, contents kept
  kCreate,      // reading and writing, created or emptied
  kCreateNew,   // reading and writing, created; fails when anything has the name, a link
                // included (never followed). POSIX: for the owner alone (mode 0600)
};

// A buffered file. Sequential reads and writes go through one buffer, so reading a
// file line by line or writing it record by record costs one system call per buffer.
// Move-only; closing (or destroying) flushes pending writes.
class File {
 public:
  static constexpr std::size_t kDefaultBufferSize = 4096;

  File() = default;
  File(const std::string& path, OpenMode mode, std::size_t buffer_size = kDefaultBufferSize);
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  bool IsOpen() const { return handle_ != kNoHandle; }

  // Writes go to the buffer; false once the system refused a write.
  bool Write(std::string_view bytes);
  bool WriteByte(std::uint8_t byte);
  bool Flush();
  // Flushes and asks the system to put the file's bytes on the disk before returning,
  // so that a file renamed over another afterwards survives a power cut complete.
  bool Sync();
  // Flushes and closes; false if the final flush failed. Closing a closed file is a no-op.
  bool Close();

  // Repositions to an absolute offset (pending writes are flushed first).
  bool Seek(std::uint64_t offset);

  // True when no further byte can be read; consumes nothing.
  bool AtEnd();
  // The next byte as a signed 8-bit value; 0 at the end of the file.
  std::int8_t ReadByte();
  // Reads one line into `line` (replacing its contents). A line ends at CR, LF, CR LF,
  // NUL or the end of the file; the terminator is consumed and not part of the text.
  // After a lone CR the following byte stays unread. At the end of the file the line
  // is empty.
  void ReadLine(std::string& line);
  // The same line as ReadLine, without copying when it lies inside the buffer: the view
  // then points into the buffer. It stays valid across one ReadByte (the byte after a
  // line is always buffered already) and ends with any other read, write or seek. A line
  // that crosses a refill is collected in `spill` and the view points there.
  std::string_view ReadLineView(std::string& spill);
  // Up to `size` bytes; fewer only at the end of the file or on a read error. A large
  // read goes straight into `data`, past the buffer.
  std::size_t Read(void* data, std::size_t size);
  // Up to `size` bytes from at most one read of the system: a pipe or a slow disk hands
  // over what it has at once, so a caller can do other work between its reads. 0 only at
  // the end of the file or on a read error.
  std::size_t ReadSome(void* data, std::size_t size);
  // The open file's size and last-write time; none when the system does not tell.
  std::optional<FileStamp> Stamp() const;

 private:
  static constexpr std::intptr_t kNoHandle = -1;

  bool Refill();
  bool StartWriting();

  std::intptr_t handle_ = kNoHandle;
  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_ = 0;
  std::size_t begin_ = 0;  // read cursor inside the buffered read-ahead
  std::size_t end_ = 0;    // end of read-ahead, or of pending writes
  bool writing_ = false;   // the buffer holds pending writes rather than read-ahead
  bool write_failed_ = false;
};

// The whole contents of a file, read-only, for as long as the object lives.
class FileImage {
 public:
  // Read into memory and closed at once: the file can be replaced the moment this
  // returns, which a long-lived reader needs (on Windows a mapped file cannot be
  // replaced). On Linux the read lands in large pages, cheaper on the first pass than a
  // fresh mapping. Null when the file cannot be opened or read.
  static std::unique_ptr<FileImage> Open(const std::string& path);
  // Mapped instead, for a short-lived reader that touches only parts of a large file: no
  // copy, and no pages but the ones it fetches. On Windows a writer that replaces the
  // file waits until the image is gone. Null when the file cannot be opened or mapped.
  static std::unique_ptr<FileImage> Map(const std::string& path);
  ~FileImage();
  FileImage(const FileImage&) = delete;
  FileImage& operator=(const FileImage&) = delete;
  // At least 16-byte aligned.
  const char* Data() const { return data_; }
  std::size_t Size() const { return size_; }
  // Asks for [offset, offset + size) of a mapped image to be fetched in one go rather
  // than page by page as it is first read. A hint: nothing changes if it is not taken.
  void Fetch(std::size_t offset, std::size_t size) const;

 private:
  FileImage() = default;
  char* data_ = nullptr;
  std::size_t size_ = 0;
  bool mapped_ = false;
};

// Position of the first CR, LF or NUL (the bytes that end a line of a File) in
// [p, end), or end.
const char* FindLineEnd(const char* p, const char* end);

// Asks the system to back a large block of memory with large pages where it can, which
// spares most of the page faults of filling it. No effect elsewhere.
void AdviseLargePages(void* data, std::size_t size);

// (Not DeleteFile/CopyFile: windows.h defines those names as macros.)
bool RemoveFile(const std::string& path);
// Copies `from` to `to`, replacing an existing `to`.
bool CopyFileReplacing(const std::string& from, const std::string& to);
bool CreateFolder(const std::string& path);
// Puts `from` in the place of `to` in one step: whoever opens `to` at any moment finds
// either the old file or the new one, complete. `from` must lie beside `to` (same
// volume). False (and nothing changed) when the system refuses, for instance because
// another program holds `to` open without allowing its deletion, or (Wine, and Windows
// without POSIX rename semantics) because anyone holds `to` open at all.
bool ReplaceFileAtomically(const std::string& from, const std::string& to);
// ReplaceFileAtomically, tried again for about a second while it is refused: a reader
// such as `tdl search` holds the file for a moment only, and refusing then would fail a
// whole indexing run. Nothing changed when it still returns false.
bool ReplaceFileWhenFree(const std::string& from, const std::string& to);

// ---------------------------------------------------------------------------------------
// Folder listings

struct FolderEntry {
  std::string name;
  bool is_folder = false;
  bool is_link = false;  // a link or other reparse point (its target decides is_folder)
};

// What tells two folders apart whatever path leads to them: the volume and the file
// number within it (POSIX: device and inode).
struct FolderIdentity {
  std::uint64_t volume = 0;
  std::uint64_t file = 0;
  friend bool operator==(const FolderIdentity&, const FolderIdentity&) = default;
};

// True where a listing's identity costs next to nothing (the listing holds the open
// folder); elsewhere it costs opening the folder once more.
#ifdef _WIN32
inline constexpr bool kCheapFolderIdentity = false;
#else
inline constexpr bool kCheapFolderIdentity = true;
#endif

// The identity of a folder by its path; none when it cannot be opened.
std::optional<FolderIdentity> IdentifyFolder(const std::string& path);

// Lists the entries of one folder in the order the file system gives them, "." and ".."
// included where the system reports them. On Windows the folder text gets a backslash
// (unless it ends with one) and "*.*", so a drive letter with colon lists the drive's
// root. Folder links count as folders.
class FolderListing {
 public:
  explicit FolderListing(const std::string& folder);
  ~FolderListing();
  FolderListing(const FolderListing&) = delete;
  FolderListing& operator=(const FolderListing&) = delete;

  // False when the folder could not be listed (missing, denied, not a folder, too long).
  bool IsOpen() const { return state_ != nullptr; }
  // Fills `entry` with the next entry; false when there are no more.
  bool Next(FolderEntry& entry);
  // The identity of the listed folder; none when the listing is not open or the system
  // does not tell.
  std::optional<FolderIdentity> Identity() const;

 private:
  struct State;
  State* state_ = nullptr;
};

// The names of the sub-folders of `folder` ("." and ".." left out), sorted by name as the
// system sorts names for the user: letters before case. Empty when it cannot be listed.
std::vector<std::string> ListSubfolders(const std::string& folder);
// Negative, zero or positive as `a` sorts before, with or after `b` for the user: the
// system's collation without regard to case (Windows), or bytes with ASCII letters folded.
int CompareNamesForDisplay(std::string_view a, std::string_view b);

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

// ---------------------------------------------------------------------------------------
// Well-known paths and the process

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

// ---------------------------------------------------------------------------------------
// Time

// Milliseconds since an arbitrary start; wraps around after 49.7 days, so compare
// tick counts by unsigned subtraction.
std::uint32_t TickCount();
void Sleep(std::uint32_t milliseconds);

}  // namespace tandrel::platform
