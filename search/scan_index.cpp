// The scan of a whole table.
#include "search/search.h"

namespace tandrel {

bool ScanIndex(const IndexTable& table, std::string_view query, const ScanOptions& options,
               std::vector<std::int32_t>& hits) {
  const std::string folded_query = FoldCase(query);
  std::string folded_name;
  for (std::int32_t i = 0; i < table.EntryCount(); ++i) {
    if ((i & 4095) == 0 && options.stop.stop_requested()) return false;
    const std::int8_t kind = table.Kind(i);
    if (options.filter == KindFilter::kFilesOnly && kind != kEntryFile) continue;
    if (options.filter == KindFilter::kFoldersOnly && kind != kEntryFolder) continue;
    folded_name = FoldCase(table.Name(i));
    if (!MatchName(folded_name, folded_query)) continue;
    hits.push_back(i);
    if (options.hit_count) options.hit_count->fetch_add(1, std::memory_order_relaxed);
  }
  return true;
}

}  // namespace tandrel
