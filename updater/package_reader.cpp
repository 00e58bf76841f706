// The reader takes one entry at a time. Packed data is read in slices no larger than
// what the file actually delivers, so a header that lies about its sizes costs at most
// one slice of memory before it is found out.
#include <algorithm>
#include <cstring>

#include "updater/jc_format.h"
#include "updater/package.h"

namespace tandrel::updater {
namespace {

constexpr std::size_t kEntryHeaderSize = 8;
constexpr std::size_t kReadSlice = 64u << 10;
constexpr std::size_t kFileBuffer = 64u << 10;

}  // namespace

bool PackageReader::Open(const std::string& path) {
  Close();
  file_ = platform::File(path, platform::OpenMode::kRead, kFileBuffer);
  return file_.IsOpen();
}

void PackageReader::Open(std::span<const std::uint8_t> bytes) {
  Close();
  memory_ = bytes;
  memory_open_ = true;
}

std::size_t PackageReader::ReadRaw(void* data, std::size_t size) {
  if (!memory_open_) return file_.Read(data, size);
  const std::size_t take = std::min(size, memory_.size() - memory_at_);
  if (take > 0) std::memcpy(data, memory_.data() + memory_at_, take);
  memory_at_ += take;
  return take;
}

bool PackageReader::ReadPacked(std::uint32_t size, std::vector<std::uint8_t>& data) {
  data.clear();
  while (data.size() < size) {
    const std::size_t have = data.size();
    const std::size_t want = std::min<std::size_t>(kReadSlice, size - have);
    data.resize(have + want);
    const std::size_t got = ReadRaw(data.data() + have, want);
    if (got != want) return false;
  }
  return true;
}

const std::uint8_t* PackageReader::Fail(EntryState state) {
  entry_.clear();
  entry_.shrink_to_fit();
  state_ = state;
  return nullptr;
}

const std::uint8_t* PackageReader::Next() {
  size_ = -1;
  if (!IsOpen()) return Fail(EntryState::kNone);
  std::uint8_t header[kEntryHeaderSize];
  const std::size_t got = ReadRaw(header, sizeof header);
  if (got == 0) return Fail(EntryState::kNone);
  if (got != sizeof header) return Fail(EntryState::kCut);
  const std::uint32_t unpacked = LoadLittleEndian32(header);
  const std::uint32_t packed = LoadLittleEndian32(header + 4);
  if (unpacked > max_entry_size_ || packed > max_entry_size_) return Fail(EntryState::kTooLarge);

  std::vector<std::uint8_t> scratch;
  if (!ReadPacked(packed, scratch)) return Fail(EntryState::kCut);
  if (packed == unpacked) {
    entry_ = std::move(scratch);
    state_ = EntryState::kStored;
  } else {
    entry_.assign(unpacked, 0);
    const JcResult result = JcDecode(scratch, entry_);
    switch (result.status) {
      case JcStatus::kOk: state_ = EntryState::kDecoded; break;
      case JcStatus::kChecksumMismatch: state_ = EntryState::kChecksumMismatch; break;
      case JcStatus::kNotJcStream: state_ = EntryState::kNotJcStream; break;
      case JcStatus::kCorrupt: return Fail(EntryState::kCorrupt);
    }
  }
  size_ = static_cast<std::int64_t>(entry_.size());
  // data() of an empty vector may be null; an empty entry is still an entry.
  static const std::uint8_t kEmpty = 0;
  return entry_.empty() ? &kEmpty : entry_.data();
}

void PackageReader::Close() {
  (void)file_.Close();  // opened for reading: nothing to lose
  file_ = platform::File();
  memory_ = {};
  memory_at_ = 0;
  memory_open_ = false;
  entry_.clear();
  entry_.shrink_to_fit();
  size_ = -1;
  state_ = EntryState::kNone;
}

}  // namespace tandrel::updater
