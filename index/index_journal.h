// The journal beside an index file: the live index's steps since that index file was
// written, so that they survive a quit, a crash or a power cut. It belongs to one
// version of the index file and is ignored beside any other.
//
// Layout, integers little-endian:
//   header  "TDLJRNL" 0x01, the index file's size (u64), last-write time (i64) and edge
//           hash (u64) as the snapshot identifies it, then a hash of those 32 bytes (u64)
//   records one per batch of steps: payload size (u32), hash of the payload (u64), then
//           the steps: 'R' entry (u32) | 'X' added number (u32) |
//           'A' kind (u8), name size (u32), name, folder size (u32), folder
// A record is written whole and synced before anything it holds is shown; a reader stops
// at the first record that is cut short, fails its hash or does not apply.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "index/index_snapshot.h"
#include "index/live_index.h"

namespace tandrel::index {

// The journal beside an index file: its name with a final ".db" replaced by ".journal"
// (db.db: db.journal), or ".journal" appended.
std::string JournalPathFor(const std::string& index_path);

inline constexpr std::size_t kJournalHeaderBytes = 40;
inline constexpr std::size_t kJournalRecordHeadBytes = 12;

struct JournalReplay {
  bool belongs = false;      // the header is whole and names this index file version
  std::size_t records = 0;   // records applied
  std::size_t good_bytes = 0;  // header and applied records
  bool whole = false;        // every byte of the journal was applied
};

// Applies the records of a journal image made for `identity` to `live` (the table as
// loaded, without changes), up to the first that does not hold; none of that one applies.
JournalReplay ReplayJournalImage(const char* data, std::size_t size, const IndexFileIdentity& identity,
                                 LiveIndex& live);
// The same from the file; a missing journal belongs to no index file.
JournalReplay ReplayJournal(const std::string& journal_path, const IndexFileIdentity& identity,
                            LiveIndex& live);

// The header of an empty journal for `identity`.
std::string JournalHeader(const IndexFileIdentity& identity);
// One record of `steps`.
std::string JournalRecord(const std::vector<LiveStep>& steps);

// Appends records to a journal, each on the disk before Append returns.
class JournalWriter {
 public:
  // Continues a journal whose `good_bytes` are all it holds (a replay found it whole).
  [[nodiscard]] bool Continue(const std::string& journal_path, std::uint64_t good_bytes);
  // Puts an empty journal for `identity` in place of whatever was there.
  [[nodiscard]] bool Reset(const std::string& journal_path, const IndexFileIdentity& identity);
  [[nodiscard]] bool Append(const std::vector<LiveStep>& steps);
  std::uint64_t Size() const { return size_; }
  void Close() { file_ = platform::File(); }

 private:
  platform::File file_;
  std::uint64_t size_ = 0;
};

}  // namespace tandrel::index
