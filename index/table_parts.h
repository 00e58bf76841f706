// The sections of an IndexTable as plain pointers, for the code that puts a table
// together from blocks it filled itself (the builder, the snapshot reader). Internal to
// index/.
#pragma once

#include <memory>

#include "index/index.h"

namespace tandrel::index {

struct IndexTableParts {
  std::shared_ptr<const void> storage;  // keeps every section alive
  const char* names = nullptr;
  const char* folded_names = nullptr;   // followed by kFoldedArenaPadding zero bytes
  const std::uint32_t* name_starts = nullptr;
  const char* folders = nullptr;
  const std::uint32_t* folder_starts = nullptr;
  const std::uint32_t* folder_of = nullptr;
  const std::int8_t* kinds = nullptr;
  std::int32_t count = 0;
  std::int32_t folder_count = 0;
  std::size_t memory_bytes = 0;

  // The caller vouches for the invariants: starts ascending from 0 within their arenas,
  // every folder number below folder_count.
  static std::shared_ptr<const IndexTable> Assemble(IndexTableParts parts) {
    std::shared_ptr<IndexTable> table(new IndexTable);
    table->storage_ = std::move(parts.storage);
    table->names_ = parts.names;
    table->folded_names_ = parts.folded_names;
    table->name_starts_ = parts.name_starts;
    table->folders_ = parts.folders;
    table->folder_starts_ = parts.folder_starts;
    table->folder_of_ = parts.folder_of;
    table->kinds_ = parts.kinds;
    table->count_ = parts.count;
    table->folder_count_ = parts.folder_count;
    table->memory_bytes_ = parts.memory_bytes;
    return table;
  }
};

// FoldNameByte over `count` bytes.
void FoldNameBytes(const char* from, std::size_t count, char* to);

}  // namespace tandrel::index
