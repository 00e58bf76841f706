// The index: the record format shared by db.db, dbtemp.db and the bucket files, the
// in-memory IndexTable, and LoadIndex, which builds a table from db.db and publishes it.
//
// A table is an immutable snapshot. LoadIndex builds a new one and swaps it in with one
// pointer store, so a search or a result list that holds the previous snapshot keeps a
// complete, unchanging table for as long as it holds it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace tandrel::index {

inline constexpr char kIndexFileName[] = "db.db";

enum : std::int8_t { kEntryFile = 0, kEntryFolder = 1 };

// Case folding of names: bytes a-z and 0xE0-0xFF lose 0x20 (so a matches A and the
// accented lower-case letters of the code page match their capitals); others stay.
constexpr std::uint8_t FoldNameByte(std::uint8_t byte) {
  return (byte >= 0x61 && byte <= 0x7A) || byte >= 0xE0 ? static_cast<std::uint8_t>(byte - 0x20)
                                                        : byte;
}

// One record as it is stored on disk.
struct IndexEntry {
  std::string name;    // the entry's own name, no path
  std::string folder;  // the folder that holds it, never ending in a separator below a root
  std::int8_t kind = kEntryFile;
};

// Writes name, CR LF, folder, CR LF, kind byte.
bool WriteIndexRecord(platform::File& file, std::string_view name, std::string_view folder,
                      std::int8_t kind);
// Reads name line, folder line and kind byte; texts missing at the end read as empty
// and a missing kind as 0.
void ReadIndexRecord(platform::File& file, IndexEntry& entry);

// The loaded index. Names lie back to back in one arena; folders are stored once each,
// since thousands of records share a folder; kinds have an array of their own. The
// sections live in one owner: the blocks a builder filled, or a snapshot's image.
class IndexTable {
 public:
  std::int32_t EntryCount() const { return count_; }

  std::string_view Name(std::int32_t i) const {
    return {names_ + name_starts_[i], name_starts_[i + 1] - name_starts_[i]};
  }
  std::string_view Folder(std::int32_t i) const {
    const std::uint32_t f = folder_of_[i];
    return {folders_ + folder_starts_[f], folder_starts_[f + 1] - folder_starts_[f]};
  }
  std::int8_t Kind(std::int32_t i) const { return kinds_[i]; }

  // All names back to back; entry i's name is [NameStarts()[i], NameStarts()[i + 1]).
  const char* NameArena() const { return names_; }
  // The same arena with every name case-folded (FoldNameByte), followed by
  // kFoldedArenaPadding zero bytes so that vector loads may read past the last name.
  const char* FoldedNameArena() const { return folded_names_; }
  std::string_view FoldedName(std::int32_t i) const {
    return {folded_names_ + name_starts_[i], name_starts_[i + 1] - name_starts_[i]};
  }
  static constexpr std::size_t kFoldedArenaPadding = 64;
  const std::uint32_t* NameStarts() const { return name_starts_; }
  std::int32_t DistinctFolderCount() const { return folder_count_; }
  // The interned folders: folder f is [FolderStarts()[f], FolderStarts()[f + 1]) of
  // FolderArena(); FolderOf()[i] is entry i's folder number.
  const char* FolderArena() const { return folders_; }
  const std::uint32_t* FolderStarts() const { return folder_starts_; }
  const std::uint32_t* FolderOf() const { return folder_of_; }
  const std::int8_t* Kinds() const { return kinds_; }
  // Bytes the table's sections take.
  std::size_t MemoryBytes() const { return memory_bytes_; }

 private:
  friend class IndexTableBuilder;
  friend struct IndexTableParts;
  IndexTable() = default;

  std::shared_ptr<const void> storage_;  // owns every section below
  const char* names_ = nullptr;
  const char* folded_names_ = nullptr;
  const std::uint32_t* name_starts_ = nullptr;  // EntryCount() + 1 offsets into names_
  const char* folders_ = nullptr;
  const std::uint32_t* folder_starts_ = nullptr;  // DistinctFolderCount() + 1 offsets
  const std::uint32_t* folder_of_ = nullptr;      // folder number of each entry
  const std::int8_t* kinds_ = nullptr;
  std::int32_t count_ = 0;
  std::int32_t folder_count_ = 0;
  std::size_t memory_bytes_ = 0;
};

// Collects entries into a new table.
class IndexTableBuilder {
 public:
  // `text_bytes` (when known) bounds the table from above, like the size of the file
  // it is read from: every section is sized from it once, so none is copied as it grows.
  explicit IndexTableBuilder(std::uint64_t text_bytes = 0);
  ~IndexTableBuilder();
  IndexTableBuilder(const IndexTableBuilder&) = delete;
  IndexTableBuilder& operator=(const IndexTableBuilder&) = delete;

  // False (and nothing added) when the table cannot take another entry: 2^31 - 1
  // entries, 4 GiB of name or folder text, or no memory.
  bool Add(std::string_view name, std::string_view folder, std::int8_t kind);
  // Add in two steps, for a reader that can hold only one text at a time: BeginEntry
  // copies the name, EndEntry completes the entry. A false BeginEntry needs no EndEntry.
  bool BeginEntry(std::string_view name);
  bool EndEntry(std::string_view folder, std::int8_t kind);
  // Entries whose texts lie in one block of memory, as offsets into it.
  struct BlockEntry {
    std::uint32_t name = 0;
    std::uint32_t name_size = 0;
    std::uint32_t folder = 0;
    std::uint32_t folder_size = 0;
    std::int8_t kind = kEntryFile;
    // The reader found the folder text equal to the previous entry's (the last of the
    // block before, for the first); false says nothing.
    bool same_folder = false;
  };
  // Adds `count` entries of the `block_size` bytes at `block` in their order, as many
  // calls of Add would; how many were added (fewer only when the table cannot take more).
  std::size_t AddBlock(const char* block, std::size_t block_size, const BlockEntry* entries,
                       std::size_t count);
  std::int32_t EntryCount() const;
  // Hands over the finished table; the builder is empty afterwards.
  std::shared_ptr<const IndexTable> Finish();

 private:
  struct Sections;
  class FolderSet;
  std::unique_ptr<Sections> sections_;
  std::unique_ptr<FolderSet> folder_set_;
};

// Called now and then during a load so that the caller can handle one pending window
// event; it is called only after a few milliseconds have passed since the last call.
using PendingEventHook = std::function<void()>;

// Reads an index file into a new table, one sequential pass. Null when the file cannot
// be opened. A file that ends inside a record still gives that record.
std::shared_ptr<const IndexTable> ReadIndexFile(const std::string& path,
                                                const PendingEventHook& hook = {});

// The snapshot of db.db: a binary image of the loaded table that a later load reads
// instead of parsing db.db, as long as it was made from the same db.db.
inline constexpr char kSnapshotFileName[] = "db.snap";
// The snapshot beside an index file: its name with a final ".db" replaced by ".snap"
// (db.db: db.snap), or ".snap" appended.
std::string SnapshotPathFor(const std::string& index_path);

// What identifies one version of an index file.
struct IndexFileIdentity {
  std::uint64_t size = 0;
  std::int64_t write_time = 0;
  std::uint64_t edge_hash = 0;  // of its first and last kIdentityBlockBytes
  friend bool operator==(const IndexFileIdentity&, const IndexFileIdentity&) = default;
};

struct LoadedIndex {
  std::shared_ptr<const IndexTable> table;  // null when the index file cannot be opened
  bool from_snapshot = false;
  // The file the table was read from, as it was before the read; none when unknown.
  std::optional<IndexFileIdentity> identity;
  // Set when the table came from the text: writes its snapshot, unless the index file
  // has changed since it was read. Any thread, any time later.
  std::function<bool()> renew_snapshot;
};

struct LoadOptions {
  bool use_snapshot = true;
  // For a short-lived process: the snapshot is mapped rather than read, so that only
  // what the process reads is fetched. On Windows a writer that replaces it waits until
  // the table is gone; a long-lived table must not be loaded so.
  bool map_snapshot = false;
  // The table will only be searched and counted, never listed: from a snapshot, only
  // what a search reads is checked, so its names are not vouched for (though safe to
  // read) and every folder reads as empty.
  bool search_only = false;
  // With search_only: case-folded texts that every name looked for holds (a query's
  // pieces). When the snapshot shows that no name holds one of them, the table comes
  // back empty; when it shows that only a few blocks of entries can, the table holds
  // just those. Either way it gives the right count and little else is read.
  std::vector<std::string> required_pieces;
  PendingEventHook hook;  // for the text load
};

// Loads an index file: from its snapshot when one matches it (and `use_snapshot`),
// otherwise from the text.
LoadedIndex LoadIndexFile(const std::string& path, const LoadOptions& options = {});

// Reads the text of an index file and writes its snapshot; the table read (null when the
// file cannot be opened). The indexing run calls it right after replacing db.db.
LoadedIndex RenewIndexSnapshot(const std::string& index_path);

// Reads db.db from the current folder and publishes it as the current table. When the
// file cannot be opened the current table stays as it was. A table read from the text
// gets its snapshot written on a thread of its own afterwards.
void LoadIndex(const PendingEventHook& hook = {});
// Waits until a snapshot that LoadIndex is writing in the background is written.
void WaitForIndexSnapshotWrite();

// The current table: before any load one empty entry (count 1), afterwards the last
// table LoadIndex published. Safe from any thread.
std::shared_ptr<const IndexTable> CurrentIndexTable();
// The current table's entry count.
std::int32_t IndexEntryCount();
// Makes `table` the current table (LoadIndex does this; tests and tools may too), read
// from `identity`'s version of db.db when that is known.
void PublishIndexTable(std::shared_ptr<const IndexTable> table,
                       std::optional<IndexFileIdentity> identity = std::nullopt);
// The current table when it was read from `identity`'s version of db.db, else null: a
// second reader of the same file shares it rather than load it again.
std::shared_ptr<const IndexTable> PublishedIndexTableOf(const IndexFileIdentity& identity);

// State of the process-wide indexing run (indexing.h), polled by other threads.
// 1 from just before a run starts until its new db.db is complete: set by the main
// thread that starts the run, cleared by the run's thread.
extern std::atomic<int>& IndexRunActive;
// 1 while a run regroups the walk into db.db; written by the run's thread only.
extern std::atomic<int>& IndexMerging;

}  // namespace tandrel::index
