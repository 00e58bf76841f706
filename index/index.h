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
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace tandrel {

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
// since thousands of records share a folder; kinds have an array of their own.
class IndexTable {
 public:
  std::int32_t EntryCount() const { return static_cast<std::int32_t>(kinds_.size()); }

  std::string_view Name(std::int32_t i) const {
    return {names_.data() + name_starts_[i], name_starts_[i + 1] - name_starts_[i]};
  }
  std::string_view Folder(std::int32_t i) const {
    const std::uint32_t f = folder_of_[i];
    return {folders_.data() + folder_starts_[f], folder_starts_[f + 1] - folder_starts_[f]};
  }
  std::int8_t Kind(std::int32_t i) const { return kinds_[i]; }
  IndexEntry Entry(std::int32_t i) const {
    return {std::string(Name(i)), std::string(Folder(i)), Kind(i)};
  }

  // All names back to back; entry i's name is [NameStarts()[i], NameStarts()[i + 1]).
  const char* NameArena() const { return names_.data(); }
  // The same arena with every name case-folded (FoldNameByte), followed by
  // kFoldedArenaPadding zero bytes so that vector loads may read past the last name.
  const char* FoldedNameArena() const { return folded_names_.data(); }
  std::string_view FoldedName(std::int32_t i) const {
    return {folded_names_.data() + name_starts_[i], name_starts_[i + 1] - name_starts_[i]};
  }
  static constexpr std::size_t kFoldedArenaPadding = 64;
  const std::uint32_t* NameStarts() const { return name_starts_.data(); }
  std::int32_t DistinctFolderCount() const {
    return static_cast<std::int32_t>(folder_starts_.size()) - 1;
  }
  // Heap bytes the table holds.
  std::size_t MemoryBytes() const;

 private:
  friend class IndexTableBuilder;
  IndexTable() = default;

  std::vector<char> names_;
  std::vector<char> folded_names_ = std::vector<char>(kFoldedArenaPadding, '\0');
  std::vector<std::uint32_t> name_starts_{0};  // EntryCount() + 1 offsets into names_
  std::vector<char> folders_;
  std::vector<std::uint32_t> folder_starts_{0};  // one more than there are folders
  std::vector<std::uint32_t> folder_of_;         // folder number of each entry
  std::vector<std::int8_t> kinds_;
};

// Collects entries into a new table.
class IndexTableBuilder {
 public:
  IndexTableBuilder();
  ~IndexTableBuilder();
  IndexTableBuilder(const IndexTableBuilder&) = delete;
  IndexTableBuilder& operator=(const IndexTableBuilder&) = delete;

  // False (and nothing added) when the table cannot take another entry: 2^31 - 1
  // entries, or 4 GiB of name or folder text.
  bool Add(std::string_view name, std::string_view folder, std::int8_t kind);
  // Add in two steps, for a reader that can hold only one text at a time: BeginEntry
  // copies the name, EndEntry completes the entry. A false BeginEntry needs no EndEntry.
  bool BeginEntry(std::string_view name);
  bool EndEntry(std::string_view folder, std::int8_t kind);
  std::int32_t EntryCount() const;
  // Hands over the finished table; the builder is empty afterwards.
  std::shared_ptr<const IndexTable> Finish();

 private:
  class FolderSet;
  std::unique_ptr<IndexTable> table_;
  std::unique_ptr<FolderSet> folder_set_;
};

// Called now and then during a load so that the caller can handle one pending window
// event; it is called only after a few milliseconds have passed since the last call.
using PendingEventHook = std::function<void()>;

// Reads an index file into a new table, one sequential pass. Null when the file cannot
// be opened. A file that ends inside a record still gives that record.
std::shared_ptr<const IndexTable> ReadIndexFile(const std::string& path,
                                                const PendingEventHook& hook = {});

// Reads db.db from the current folder and publishes it as the current table. When the
// file cannot be opened the current table stays as it was.
void LoadIndex(const PendingEventHook& hook = {});

// The current table: before any load one empty entry (count 1), afterwards the last
// table LoadIndex published. Safe from any thread.
std::shared_ptr<const IndexTable> CurrentIndexTable();
// The current table's entry count.
std::int32_t IndexEntryCount();
// Makes `table` the current table (LoadIndex does this; tests and tools may too).
void PublishIndexTable(std::shared_ptr<const IndexTable> table);

// State of the indexing run, polled by other threads.
// 1 from just before a run starts until its new db.db is complete: set by the main
// thread that starts the run, cleared by the run's thread.
extern std::atomic<int> IndexRunActive;
// 1 while a run regroups the walk into db.db; written by the run's thread only.
extern std::atomic<int> IndexMerging;

}  // namespace tandrel
