// The journal reader on arbitrary bytes: the records after a valid header, with each
// record's hash made to fit (so the fuzzer reaches the steps instead of stopping at the
// hash), and the input once more as it is. Whatever applies must leave a live index
// whose count matches its entries, and reading the good part again must give the same
// entries: the reader never reads out of bounds and never applies half a record.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "index/index_journal.h"
#include "index/snapshot_checksum.h"

namespace {

using namespace tandrel;

std::shared_ptr<const index::IndexTable> SmallTable() {
  index::IndexTableBuilder builder;
  (void)builder.Add("alt.txt", "C:\\Daten", index::kEntryFile);
  (void)builder.Add("Ordner", "C:\\Daten", index::kEntryFolder);
  (void)builder.Add("innen.txt", "C:\\Daten\\Ordner", index::kEntryFile);
  return builder.Finish();
}

// The input's records with their hashes set to what their payloads hash to.
std::string WithFittingHashes(const std::uint8_t* data, std::size_t size) {
  std::string records(reinterpret_cast<const char*>(data), size);
  std::size_t at = 0;
  while (records.size() - at >= index::kJournalRecordHeadBytes) {
    std::uint32_t payload = 0;
    std::memcpy(&payload, records.data() + at, 4);
    const std::size_t left = records.size() - at - index::kJournalRecordHeadBytes;
    if (payload > left) break;  // the last one stays cut short
    const std::uint64_t hash = index::MixedHash(records.data() + at + index::kJournalRecordHeadBytes, payload);
    for (int i = 0; i < 8; ++i) records[at + 4 + i] = static_cast<char>((hash >> (8 * i)) & 0xFF);
    at += index::kJournalRecordHeadBytes + payload;
  }
  return records;
}

std::vector<std::string> Entries(const index::LiveIndexVersion& version) {
  std::vector<std::string> entries;
  index::ForEachLiveEntry(version, [&](std::string_view name, std::string_view folder, std::int8_t kind) {
    entries.push_back(std::string(folder) + '\n' + std::string(name) + static_cast<char>('0' + kind));
  });
  return entries;
}

void Check(bool holds) {
  if (!holds) std::abort();
}

void Replay(const std::string& image, const index::IndexFileIdentity& identity,
            const std::shared_ptr<const index::IndexTable>& table) {
  index::LiveIndex live(table);
  const index::JournalReplay replay = index::ReplayJournalImage(image.data(), image.size(), identity, live);
  Check(replay.good_bytes <= image.size());
  const index::LiveIndexVersion version = live.Publish();
  const std::vector<std::string> entries = Entries(version);
  Check(static_cast<std::int32_t>(entries.size()) == version.LiveCount());
  if (!replay.belongs) return;
  // What stood applies the same once more, and whole.
  index::LiveIndex again(table);
  const index::JournalReplay second = index::ReplayJournalImage(image.data(), replay.good_bytes, identity, again);
  Check(second.whole && second.records == replay.records);
  Check(Entries(again.Publish()) == entries);
  // The changes by path still work on what the journal left.
  live.Remove("C:\\Daten", "Ordner");
  live.Add("C:\\Daten", "neu.txt", index::kEntryFile);
  const index::LiveIndexVersion changed = live.Publish();
  Check(static_cast<std::int32_t>(Entries(changed).size()) == changed.LiveCount());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::shared_ptr<const index::IndexTable> table = SmallTable();
  const index::IndexFileIdentity identity{1234, 5678, 91011};
  Replay(index::JournalHeader(identity) + WithFittingHashes(data, size), identity, table);
  Replay(std::string(reinterpret_cast<const char*>(data), size), identity, table);
  return 0;
}
