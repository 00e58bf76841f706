// The orders of a live version's hits. The rank knows only the loaded table; the added
// entries are few (they are folded into a new table once they grow), so they are sorted
// by their texts and each one placed among the ranked table hits by a binary search.
#include <algorithm>

#include "search/search.h"

namespace tandrel::search {
namespace {

// Folded texts compared byte by byte, without making folded copies.
int CompareFolded(std::string_view a, std::string_view b) {
  const std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < common; ++i) {
    const auto x = index::FoldNameByte(static_cast<std::uint8_t>(a[i]));
    const auto y = index::FoldNameByte(static_cast<std::uint8_t>(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace

void ArrangeLiveHits(const SortRank& rank, const index::IndexTable& table, const index::IndexTable* added,
                     std::vector<std::int32_t>& hits, HitOrder order) {
  const std::int32_t table_count = table.EntryCount();
  const auto first_added = std::stable_partition(hits.begin(), hits.end(), [&](std::int32_t e) { return e < table_count; });
  if (first_added == hits.end() || added == nullptr) {
    rank.Arrange(hits, order);
    return;
  }
  std::vector<std::int32_t> added_hits(first_added, hits.end());
  hits.erase(first_added, hits.end());
  rank.Arrange(hits, order);

  // Entry numbers: the added entries come after the table's.
  if (order.column == SortColumn::kIndexOrder) {
    if (order.descending) {
      std::sort(added_hits.begin(), added_hits.end(), std::greater<>());
      hits.insert(hits.begin(), added_hits.begin(), added_hits.end());
    } else {
      std::sort(added_hits.begin(), added_hits.end());
      hits.insert(hits.end(), added_hits.begin(), added_hits.end());
    }
    return;
  }

  auto text = [&](std::int32_t e) {
    const bool in_table = e < table_count;
    const index::IndexTable& holder = in_table ? table : *added;
    const std::int32_t at = in_table ? e : e - table_count;
    return order.column == SortColumn::kName ? holder.Name(at) : holder.Folder(at);
  };
  // Strictly before in the order; equal texts keep entry order either way.
  auto before = [&](std::int32_t a, std::int32_t b) {
    const int compared = CompareFolded(text(a), text(b));
    if (compared != 0) return order.descending ? compared > 0 : compared < 0;
    return a < b;
  };
  std::sort(added_hits.begin(), added_hits.end(), before);

  std::vector<std::int32_t> merged;
  merged.reserve(hits.size() + added_hits.size());
  auto from = hits.begin();
  for (std::int32_t a : added_hits) {
    const auto to = std::upper_bound(from, hits.end(), a, before);
    merged.insert(merged.end(), from, to);
    merged.push_back(a);
    from = to;
  }
  merged.insert(merged.end(), from, hits.end());
  hits = std::move(merged);
}

}  // namespace tandrel::search
