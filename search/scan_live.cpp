// The scan of a live version: the table as it was loaded, the removed entries taken out
// of its hits, then the added entries as a table of their own.
#include <algorithm>

#include "search/search.h"

namespace tandrel::search {

bool ScanLiveIndex(const index::LiveIndexVersion& version, std::string_view query,
                   const ScanOptions& options, std::vector<std::int32_t>& hits) {
  const std::size_t first = hits.size();
  if (!ScanIndex(*version.table, query, options, hits)) return false;
  if (version.removed_count > 0) {
    // The hit count shown while scanning may run ahead by the removed hits for a moment;
    // the list is what counts.
    const auto kept = std::remove_if(hits.begin() + static_cast<std::ptrdiff_t>(first), hits.end(),
                                     [&](std::int32_t i) { return version.IsRemoved(i); });
    if (options.hit_count) {
      options.hit_count->fetch_sub(static_cast<std::int32_t>(hits.end() - kept), std::memory_order_relaxed);
    }
    hits.erase(kept, hits.end());
  }
  if (!version.added) return true;
  const std::size_t added_first = hits.size();
  if (!ScanIndex(*version.added, query, options, hits)) return false;
  const std::int32_t offset = version.table->EntryCount();
  for (std::size_t i = added_first; i < hits.size(); ++i) hits[i] += offset;
  return true;
}

}  // namespace tandrel::search
