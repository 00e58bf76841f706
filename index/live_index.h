// The live index: the loaded table, which stays immutable, and the changes made to the
// disk since it was written. Entries gone from the disk are a set of bits over the
// table; entries that came are a table of their own, in the order they came. A search
// sees a published version: the table minus the removed entries, then the added ones.
//
// One writer (the thread that follows the folder watch, or replays the journal) owns a
// LiveIndex and publishes versions; any thread reads the last one published.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "index/index.h"

namespace tandrel::index {

// One unchanging state of the live index.
struct LiveIndexVersion {
  std::shared_ptr<const IndexTable> table;
  std::shared_ptr<const std::vector<std::uint64_t>> removed;  // a bit per table entry; null: none
  std::shared_ptr<const IndexTable> added;                    // null: none
  std::int32_t removed_count = 0;

  bool IsRemoved(std::int32_t entry) const {
    return removed && (((*removed)[static_cast<std::size_t>(entry) >> 6] >> (entry & 63)) & 1U) != 0;
  }
  std::int32_t AddedCount() const { return added ? added->EntryCount() : 0; }
  // Entries a search lists: the table's but the removed, and the added.
  std::int32_t LiveCount() const { return table->EntryCount() - removed_count + AddedCount(); }
};

// One step of the changes, as the journal stores it. Entry numbers count the table's
// entries; added entries are numbered in the order they were added, from 0.
struct LiveStep {
  enum class Kind : std::uint8_t { kRemoveTableEntry = 'R', kAdd = 'A', kRemoveAdded = 'X' };
  Kind kind = Kind::kAdd;
  std::uint32_t number = 0;  // kRemoveTableEntry, kRemoveAdded
  std::int8_t entry_kind = kEntryFile;  // kAdd
  std::string name;                     // kAdd
  std::string folder;                   // kAdd
};

class LiveIndex {
 public:
  explicit LiveIndex(std::shared_ptr<const IndexTable> table);
  ~LiveIndex();
  LiveIndex(const LiveIndex&) = delete;
  LiveIndex& operator=(const LiveIndex&) = delete;
  LiveIndex(LiveIndex&&) noexcept;
  LiveIndex& operator=(LiveIndex&&) noexcept;

  // A step as the journal gives it; false (nothing changed) when it cannot apply: an
  // entry number out of range or already removed, a kind other than file or folder.
  [[nodiscard]] bool Apply(const LiveStep& step);

  // Changes by path, as the folder watch reports them. Each records the steps it took
  // (TakeSteps). The first one builds the lookup of the table's entries by path.
  // Adds the entry unless one of that path is live.
  void Add(std::string_view folder, std::string_view name, std::int8_t kind);
  // Removes every live entry of that path and everything below it.
  void Remove(std::string_view folder, std::string_view name);
  // Removes everything below `folder` (a root whose walk is to be redone).
  void RemoveBelow(std::string_view folder);
  // Makes what lies below `folder` what a walk of it finds, recording only the
  // differences: Found for every entry the walk lists, then EndWalk removes what was not
  // found (unless `remove_missed` is false: a walk cut short). Other changes may come in
  // between; they apply as usual.
  void BeginWalk(std::string_view folder);
  void Found(std::string_view folder, std::string_view name, std::int8_t kind);
  void EndWalk(bool remove_missed);
  // The steps taken since the last call, in order.
  std::vector<LiveStep> TakeSteps();

  // The current state for searches; the same version again while nothing changed.
  LiveIndexVersion Publish();
  const std::shared_ptr<const IndexTable>& Table() const { return table_; }
  // Steps applied since the table was loaded.
  std::uint64_t StepCount() const { return step_count_; }

 private:
  struct Added {
    std::string name;
    std::string folder;
    std::int8_t kind;
    bool live;
  };
  class TableLookup;

  void EnsureLookup();
  void IndexAdded(std::uint32_t number);
  void RemoveTableEntry(std::uint32_t entry);
  void RemoveIfLive(std::int32_t entry);
  void RemoveAdded(std::uint32_t number);
  void Record(LiveStep step);
  static std::string PathKey(std::string_view folder, std::string_view name);

  std::shared_ptr<const IndexTable> table_;
  std::vector<std::uint64_t> removed_;
  std::int32_t removed_count_ = 0;
  std::vector<Added> added_;
  std::int32_t added_live_ = 0;
  std::vector<LiveStep> steps_;
  std::uint64_t step_count_ = 0;
  bool changed_since_publish_ = true;
  LiveIndexVersion published_;

  // The walk in progress: what it found of the table's entries and of the added ones.
  std::string walk_folder_;
  std::vector<std::uint64_t> walk_found_;
  std::vector<bool> walk_found_added_;

  // Built on the first change by path; kept current from then on.
  std::unique_ptr<TableLookup> lookup_;
  std::unordered_map<std::string, std::vector<std::uint32_t>> added_by_path_;
  // In text order, where every folder below one is in a single run.
  std::map<std::string, std::vector<std::uint32_t>, std::less<>> added_by_folder_;
};

// The published version that searches read: any thread, a pointer copy under a lock.
class LiveIndexSlot {
 public:
  void Publish(LiveIndexVersion version);
  LiveIndexVersion Current() const;

 private:
  mutable platform::Mutex lock_;
  LiveIndexVersion version_;
};

// The live index that the program's searches read: the slot of the writer that keeps it
// while one does (null: none), else the table LoadIndex published, unchanged. The slot
// stays valid until it is replaced here.
void UseLiveIndexSlot(const LiveIndexSlot* slot);
LiveIndexVersion CurrentLiveIndex();

// The live entries of a version in search order: the table's but the removed, then the
// added. `visit(name, folder, kind)`.
template <class Visit>
void ForEachLiveEntry(const LiveIndexVersion& version, Visit visit) {
  const IndexTable& table = *version.table;
  for (std::int32_t i = 0; i < table.EntryCount(); ++i) {
    if (!version.IsRemoved(i)) visit(table.Name(i), table.Folder(i), table.Kind(i));
  }
  if (!version.added) return;
  for (std::int32_t i = 0; i < version.added->EntryCount(); ++i) {
    visit(version.added->Name(i), version.added->Folder(i), version.added->Kind(i));
  }
}

}  // namespace tandrel::index
