// The rows of a hit list.
#include "search/search.h"

namespace tandrel::search {

std::pair<const index::IndexTable*, std::int32_t> SearchHits::Locate(std::int32_t row) const {
  const std::int32_t entry = hits_[static_cast<std::size_t>(row)];
  const std::int32_t table_count = table_->EntryCount();
  if (added_ && entry >= table_count) return {added_.get(), entry - table_count};
  return {table_.get(), entry};
}

std::string_view SearchHits::Name(std::int32_t row) const {
  if (row < 0 || row >= Count()) return {};
  const auto [table, entry] = Locate(row);
  return table->Name(entry);
}

bool SearchHits::IsFolder(std::int32_t row) const {
  if (row < 0 || row >= Count()) return false;
  const auto [table, entry] = Locate(row);
  return table->Kind(entry) == index::kEntryFolder;
}

std::string_view SearchHits::Folder(std::int32_t row) const {
  if (row < 0 || row >= Count()) return {};
  const auto [table, entry] = Locate(row);
  return table->Folder(entry);
}

}  // namespace tandrel::search
