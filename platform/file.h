// Files: the buffered File, whole-file images, and the operations on files by name. Text
// is bytes of the ANSI code page; paths are stored paths (paths.h, MatchStoredPath): on
// Windows a name with "?" is looked up in its folder, and a path that does not stand for
// exactly one file is refused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/owned.h"

namespace tandrel::platform {

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

namespace native {
// The system's handle of an open file, closed by the system's layer (native_file.h).
inline constexpr std::intptr_t kNoHandle = -1;
void CloseFile(std::intptr_t handle);
using OwnedFile = Owned<std::intptr_t, CloseFile, kNoHandle>;
}  // namespace native

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

  bool IsOpen() const { return static_cast<bool>(handle_); }

  // Writes go to the buffer; false once the system refused a write. The failure sticks:
  // Flush, Sync and Close report it too, so a writer may check only the last of them.
  bool Write(std::string_view bytes);
  bool WriteByte(std::uint8_t byte);
  [[nodiscard]] bool Flush();
  // Flushes and asks the system to put the file's bytes on the disk before returning,
  // so that a file renamed over another afterwards survives a power cut complete.
  [[nodiscard]] bool Sync();
  // Flushes and closes; false if the final flush failed. Closing a closed file is a no-op.
  [[nodiscard]] bool Close();

  // Repositions to an absolute offset. Pending writes are flushed first; false when the
  // move or an earlier write failed.
  [[nodiscard]] bool Seek(std::uint64_t offset);

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
  bool Refill();
  bool StartWriting();

  native::OwnedFile handle_;
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
  [[nodiscard]] static std::unique_ptr<FileImage> Open(const std::string& path);
  // Mapped instead, for a short-lived reader that touches only parts of a large file: no
  // copy, and no pages but the ones it fetches. On Windows a writer that replaces the
  // file waits until the image is gone. Null when the file cannot be opened or mapped.
  [[nodiscard]] static std::unique_ptr<FileImage> Map(const std::string& path);
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

// True when `path` names a file this process may open for reading: the test whether a
// program or data file is there to be used.
[[nodiscard]] bool CanOpenForReading(const std::string& path);
// (Not DeleteFile/CopyFile: windows.h defines those names as macros.)
bool RemoveFile(const std::string& path);
// Copies `from` to `to`, replacing an existing `to`. Where the last name of `to` is the
// stored form of the last name of `from`, the copy gets the real name of `from`: a copy
// into another folder keeps the name the code page could not hold.
[[nodiscard]] bool CopyFileReplacing(const std::string& from, const std::string& to);
[[nodiscard]] bool CreateFolder(const std::string& path);
// CreateFolder, with the last name taken from `model` as CopyFileReplacing takes it.
[[nodiscard]] bool CreateFolderNamedAs(const std::string& path, const std::string& model);
// Puts `from` in the place of `to` in one step: whoever opens `to` at any moment finds
// either the old file or the new one, complete. `from` must lie beside `to` (same
// volume). False (and nothing changed) when the system refuses, for instance because
// another program holds `to` open without allowing its deletion, or (Wine, and Windows
// without POSIX rename semantics) because anyone holds `to` open at all.
[[nodiscard]] bool ReplaceFileAtomically(const std::string& from, const std::string& to);
// ReplaceFileAtomically, tried again for about a second while it is refused: a reader
// such as `tdl search` holds the file for a moment only, and refusing then would fail a
// whole indexing run. Nothing changed when it still returns false.
[[nodiscard]] bool ReplaceFileWhenFree(const std::string& from, const std::string& to);

}  // namespace tandrel::platform
