// The rows of a hit list.
#include "search/search.h"

namespace tandrel {

std::string_view SearchHits::Name(std::int32_t row) const {
  if (row < 0 || row >= Count()) return {};
  return table_->Name(hits_[static_cast<std::size_t>(row)]);
}

bool SearchHits::IsFolder(std::int32_t row) const {
  if (row < 0 || row >= Count()) return false;
  return table_->Kind(hits_[static_cast<std::size_t>(row)]) == kEntryFolder;
}

std::string_view SearchHits::Folder(std::int32_t row) const {
  if (row < 0 || row >= Count()) return {};
  return table_->Folder(hits_[static_cast<std::size_t>(row)]);
}

}  // namespace tandrel
