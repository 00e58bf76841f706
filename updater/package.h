// Reading update packages: a plain sequence of entries, each stored unchanged or
// compressed as a JcStream. Everything here is bounds-checked against the entry's own
// sizes, so a damaged or hostile package can only produce "no entry" or a status,
// never a write or read outside the buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace tandrel::updater {

// The largest entry the reader allocates. Tandrel's own files are a few megabytes; a
// header announcing more is taken as damage rather than as a request for memory.
inline constexpr std::uint32_t kMaxEntrySize = 64u << 20;

enum class JcStatus {
  kOk,                // decoded; the checksum matched or there was none
  kChecksumMismatch,  // decoded to the end code, but the stored checksum differs
  kNotJcStream,       // the data does not begin with "JC"; nothing was decoded
  kCorrupt,           // a code reached outside the output or the stream ran out of bits
};

struct JcResult {
  JcStatus status = JcStatus::kCorrupt;
  std::size_t written = 0;  // bytes of output written, whatever the status
  // The decoder's classic answer: the length decoded, or 0 on any failure.
  std::size_t Length() const { return status == JcStatus::kOk ? written : 0; }
};

// Decodes `stream` into `output`, which must be the entry's unpacked size. The literal
// width is 8 with base 0 until the stream's first width code. Output beyond the end code
// is left as it was.
JcResult JcDecode(std::span<const std::uint8_t> stream, std::span<std::uint8_t> output);

// The 32-bit sum over little-endian words that a JcStream stores for its content.
std::uint32_t JcChecksum(std::span<const std::uint8_t> data);

// What the last PackageReader::Next produced.
enum class EntryState {
  kNone,              // no package open, or the package has ended cleanly
  kStored,            // an entry stored unchanged
  kDecoded,           // a compressed entry, decoded with a matching (or no) checksum
  kChecksumMismatch,  // handed out as decoded, but its checksum did not match
  kNotJcStream,       // handed out zero-filled: its data does not begin with "JC"
  kCorrupt,           // no entry: the stream broke its bounds
  kCut,               // no entry: the file ends inside the entry's header or data
  kTooLarge,          // no entry: a size above the reader's limit
};

class PackageReader {
 public:
  // `max_entry_size` (at most kMaxEntrySize) bounds what one entry may claim.
  explicit PackageReader(std::uint32_t max_entry_size = kMaxEntrySize)
      : max_entry_size_(max_entry_size < kMaxEntrySize ? max_entry_size : kMaxEntrySize) {}

  // Closes any open package, then opens `path` for reading. False when it cannot be.
  bool Open(const std::string& path);
  // Closes any open package, then reads the package in `bytes`, which must stay as they
  // are until the reader is closed: what was checked in memory is what is read.
  void Open(std::span<const std::uint8_t> bytes);
  // The next entry's content, valid until the next call to Next or Close; nullptr
  // when there is none (State() tells the end of the package from damage). An empty
  // entry gives a valid non-null pointer and Size() 0.
  const std::uint8_t* Next();
  // The current entry's size, or -1 when the last Next gave no entry.
  std::int64_t Size() const { return size_; }
  EntryState State() const { return state_; }
  void Close();

 private:
  const std::uint8_t* Fail(EntryState state);
  bool IsOpen() const { return file_.IsOpen() || memory_open_; }
  // Up to `size` bytes from the file or the memory; fewer only at the end.
  std::size_t ReadRaw(void* data, std::size_t size);
  // The packed data of an entry, read in slices no larger than what the source delivers.
  bool ReadPacked(std::uint32_t size, std::vector<std::uint8_t>& data);

  std::uint32_t max_entry_size_;
  platform::File file_;
  std::span<const std::uint8_t> memory_;
  std::size_t memory_at_ = 0;
  bool memory_open_ = false;
  std::vector<std::uint8_t> entry_;
  std::int64_t size_ = -1;
  EntryState state_ = EntryState::kNone;
};

}  // namespace tandrel::updater
