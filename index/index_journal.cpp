// Reading and writing the journal beside an index file.
#include "index/index_journal.h"

#include <cstring>

#include "index/snapshot_checksum.h"
#include "platform/staged_file.h"

namespace tandrel::index {
namespace {

constexpr char kJournalMagic[8] = {'T', 'D', 'L', 'J', 'R', 'N', 'L', 0x01};

void PutU32(std::string& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}
void PutU64(std::string& out, std::uint64_t value) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}
std::uint64_t GetLittle(const char* at, int bytes) {
  std::uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(at[i]);
  return value;
}

// Reads the steps of one record's payload; false when they do not parse.
class PayloadReader {
 public:
  PayloadReader(const char* data, std::size_t size) : at_(data), end_(data + size) {}

  bool Next(LiveStep& step) {
    const auto kind = static_cast<LiveStep::Kind>(*at_++);
    step.kind = kind;
    switch (kind) {
      case LiveStep::Kind::kRemoveTableEntry:
      case LiveStep::Kind::kRemoveAdded:
        return U32(step.number);
      case LiveStep::Kind::kAdd: {
        if (at_ == end_) return false;
        step.entry_kind = static_cast<std::int8_t>(*at_++);
        return Text(step.name) && Text(step.folder);
      }
    }
    return false;
  }
  bool AtEnd() const { return at_ == end_; }

 private:
  bool U32(std::uint32_t& value) {
    if (end_ - at_ < 4) return false;
    value = static_cast<std::uint32_t>(GetLittle(at_, 4));
    at_ += 4;
    return true;
  }
  bool Text(std::string& text) {
    std::uint32_t size = 0;
    if (!U32(size) || static_cast<std::size_t>(end_ - at_) < size) return false;
    text.assign(at_, size);
    at_ += size;
    // The record format ends a text at these bytes: no index entry holds them.
    return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos;
  }

  const char* at_;
  const char* end_;
};

}  // namespace

std::string JournalPathFor(const std::string& index_path) {
  const std::size_t base = index_path.find_last_of("\\/") + 1;  // 0 when there is none
  const std::string_view name = std::string_view(index_path).substr(base);
  if (name.size() > 3 && name.substr(name.size() - 3) == ".db") {
    return index_path.substr(0, index_path.size() - 3) + ".journal";
  }
  return index_path + ".journal";
}

std::string JournalHeader(const IndexFileIdentity& identity) {
  std::string header(kJournalMagic, sizeof kJournalMagic);
  PutU64(header, identity.size);
  PutU64(header, static_cast<std::uint64_t>(identity.write_time));
  PutU64(header, identity.edge_hash);
  PutU64(header, MixedHash(header.data(), header.size()));
  return header;
}

std::string JournalRecord(const std::vector<LiveStep>& steps) {
  std::string payload;
  for (const LiveStep& step : steps) {
    payload.push_back(static_cast<char>(step.kind));
    if (step.kind != LiveStep::Kind::kAdd) {
      PutU32(payload, step.number);
      continue;
    }
    payload.push_back(static_cast<char>(step.entry_kind));
    PutU32(payload, static_cast<std::uint32_t>(step.name.size()));
    payload.append(step.name);
    PutU32(payload, static_cast<std::uint32_t>(step.folder.size()));
    payload.append(step.folder);
  }
  std::string record;
  record.reserve(kJournalRecordHeadBytes + payload.size());
  PutU32(record, static_cast<std::uint32_t>(payload.size()));
  PutU64(record, MixedHash(payload.data(), payload.size()));
  record.append(payload);
  return record;
}

namespace {

// Applies the records of [at, size) in order, up to the first that is cut short, damaged
// or holds a step that does not apply; where that one starts. `half_applied` when that
// record's first steps applied before one did not.
std::size_t ApplyRecords(const char* data, std::size_t size, std::size_t at, LiveIndex& live,
                         std::size_t& records, bool& half_applied) {
  half_applied = false;
  std::vector<LiveStep> steps;
  while (size - at >= kJournalRecordHeadBytes) {
    const std::size_t payload_size = GetLittle(data + at, 4);
    if (size - at - kJournalRecordHeadBytes < payload_size) break;  // cut short
    const char* payload = data + at + kJournalRecordHeadBytes;
    if (GetLittle(data + at + 4, 8) != MixedHash(payload, payload_size)) break;
    // The whole record parses before any of it applies.
    PayloadReader reader(payload, payload_size);
    steps.clear();
    bool parsed = true;
    while (parsed && !reader.AtEnd()) parsed = reader.Next(steps.emplace_back());
    if (!parsed) break;
    std::size_t applied = 0;
    while (applied < steps.size() && live.Apply(steps[applied])) ++applied;
    if (applied < steps.size()) {
      half_applied = applied > 0;
      break;
    }
    at += kJournalRecordHeadBytes + payload_size;
    ++records;
  }
  return at;
}

}  // namespace

JournalReplay ReplayJournalImage(const char* data, std::size_t size, const IndexFileIdentity& identity,
                                 LiveIndex& live) {
  JournalReplay replay;
  if (size < kJournalHeaderBytes || JournalHeader(identity) != std::string_view(data, kJournalHeaderBytes)) {
    return replay;
  }
  replay.belongs = true;
  bool half_applied = false;
  const std::size_t at = ApplyRecords(data, size, kJournalHeaderBytes, live, replay.records, half_applied);
  if (half_applied) {
    // Only a faulty writer leaves a record whose hash fits but whose steps do not. What of
    // it applied is undone by applying the records before it to the table once more:
    // they applied before, so they apply again, and the live index shows whole records.
    live = LiveIndex(live.Table());
    std::size_t again = 0;
    (void)ApplyRecords(data, at, kJournalHeaderBytes, live, again, half_applied);
  }
  replay.good_bytes = at;
  replay.whole = at == size;
  return replay;
}

JournalReplay ReplayJournal(const std::string& journal_path, const IndexFileIdentity& identity,
                            LiveIndex& live) {
  const std::unique_ptr<platform::FileImage> image = platform::FileImage::Open(journal_path);
  if (!image) return {};
  return ReplayJournalImage(image->Data(), image->Size(), identity, live);
}

bool JournalWriter::Continue(const std::string& journal_path, std::uint64_t good_bytes) {
  file_ = platform::File(journal_path, platform::OpenMode::kReadWrite);
  size_ = good_bytes;
  return file_.IsOpen() && file_.Seek(good_bytes);
}

bool JournalWriter::Reset(const std::string& journal_path, const IndexFileIdentity& identity) {
  file_ = platform::File();
  {
    platform::StagedFile fresh(journal_path, ".new");
    const bool written = fresh.IsOpen() && fresh.Output().Write(JournalHeader(identity));
    if (!fresh.Commit(written, platform::Durability::kSynced)) return false;
  }
  return Continue(journal_path, kJournalHeaderBytes);
}

bool JournalWriter::Append(const std::vector<LiveStep>& steps) {
  if (!file_.IsOpen()) return false;
  const std::string record = JournalRecord(steps);
  if (!file_.Write(record) || !file_.Sync()) return false;
  size_ += record.size();
  return true;
}

}  // namespace tandrel::index
