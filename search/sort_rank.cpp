// The orders of the hits: each entry's rank by folded name and by folded folder, built
// once per table, and the hits arranged by those ranks.
#include <algorithm>
#include <functional>
#include <numeric>
#include <utility>

#include "search/search.h"

namespace tandrel::search {
namespace {

// At or above this share of the table's entries, walking the whole rank once beats
// sorting the hits (a bit per entry marks the hits).
constexpr std::int32_t kWalkShare = 16;

class EntryMarks {
 public:
  EntryMarks(std::int32_t count, const std::vector<std::int32_t>& entries)
      : words_((static_cast<std::size_t>(count) + 63) / 64) {
    for (std::int32_t e : entries) words_[Word(e)] |= Bit(e);
  }
  bool Has(std::int32_t e) const { return (words_[Word(e)] & Bit(e)) != 0; }
  const std::vector<std::uint64_t>& Words() const { return words_; }

 private:
  static std::size_t Word(std::int32_t e) { return static_cast<std::size_t>(e) >> 6; }
  static std::uint64_t Bit(std::int32_t e) { return std::uint64_t{1} << (static_cast<std::uint32_t>(e) & 63); }
  std::vector<std::uint64_t> words_;
};

// Fills group_end from by_rank and group.
void EndGroups(std::vector<std::uint32_t>& group_end, const std::vector<std::int32_t>& by_rank,
               const std::vector<std::uint32_t>& group) {
  for (std::size_t k = 0; k < by_rank.size(); ++k) {
    const std::uint32_t g = group[static_cast<std::size_t>(by_rank[k])];
    if (g >= group_end.size()) group_end.resize(g + 1);
    group_end[g] = static_cast<std::uint32_t>(k + 1);
  }
}

}  // namespace

HitOrder NextHitOrder(HitOrder current, SortColumn clicked) {
  if (clicked == SortColumn::kIndexOrder || current.column != clicked) return {clicked, false};
  if (!current.descending) return {clicked, true};
  return {};
}

std::shared_ptr<const SortRank> SortRank::Build(const index::IndexTable& table, const platform::StopToken& stop) {
  auto rank = std::shared_ptr<SortRank>(new SortRank());
  const std::int32_t n = table.EntryCount();
  const auto size = static_cast<std::size_t>(n);
  rank->count_ = n;

  // Names: every entry sorted by its folded name, equal names by entry.
  Column& names = rank->name_;
  names.by_rank.resize(size);
  std::iota(names.by_rank.begin(), names.by_rank.end(), 0);
  std::sort(names.by_rank.begin(), names.by_rank.end(), [&table](std::int32_t a, std::int32_t b) {
    const int compared = table.FoldedName(a).compare(table.FoldedName(b));
    return compared < 0 || (compared == 0 && a < b);
  });
  if (stop.StopRequested()) return nullptr;
  names.group.resize(size);
  std::uint32_t group = 0;
  for (std::size_t k = 0; k < size; ++k) {
    if (k > 0 && table.FoldedName(names.by_rank[k]) != table.FoldedName(names.by_rank[k - 1])) ++group;
    names.group[static_cast<std::size_t>(names.by_rank[k])] = group;
  }
  EndGroups(names.group_end, names.by_rank, names.group);

  // Folders: the distinct folders folded and ranked, then the entries counted into
  // their folder's group in entry order.
  const auto folder_count = static_cast<std::size_t>(table.DistinctFolderCount());
  const char* arena = table.FolderArena();
  const std::uint32_t* starts = table.FolderStarts();
  std::string folded(arena, folder_count > 0 ? starts[folder_count] : 0);
  for (char& c : folded) c = static_cast<char>(index::FoldNameByte(static_cast<std::uint8_t>(c)));
  auto folder_text = [&](std::uint32_t f) { return std::string_view(folded).substr(starts[f], starts[f + 1] - starts[f]); };
  std::vector<std::uint32_t> folder_order(folder_count);
  std::iota(folder_order.begin(), folder_order.end(), 0u);
  std::sort(folder_order.begin(), folder_order.end(), [&](std::uint32_t a, std::uint32_t b) {
    const int compared = folder_text(a).compare(folder_text(b));
    return compared < 0 || (compared == 0 && a < b);
  });
  if (stop.StopRequested()) return nullptr;
  std::vector<std::uint32_t> folder_group(folder_count);
  group = 0;
  for (std::size_t k = 0; k < folder_count; ++k) {
    if (k > 0 && folder_text(folder_order[k]) != folder_text(folder_order[k - 1])) ++group;
    folder_group[folder_order[k]] = group;
  }
  Column& folders = rank->folder_;
  folders.group.resize(size);
  std::vector<std::uint32_t> next(folder_count > 0 ? group + 1 : 0, 0);
  for (std::size_t i = 0; i < size; ++i) {
    folders.group[i] = folder_group[table.FolderOf()[i]];
    ++next[folders.group[i]];
  }
  std::uint32_t begin = 0;
  for (std::uint32_t& slot : next) begin += std::exchange(slot, begin);
  folders.by_rank.resize(size);
  for (std::size_t i = 0; i < size; ++i) folders.by_rank[next[folders.group[i]]++] = static_cast<std::int32_t>(i);
  EndGroups(folders.group_end, folders.by_rank, folders.group);
  return rank;
}

void SortRank::Arrange(std::vector<std::int32_t>& hits, HitOrder order) const {
  switch (order.column) {
    case SortColumn::kIndexOrder: ArrangeByEntry(hits, order.descending); break;
    case SortColumn::kName: ArrangeByColumn(name_, hits, order.descending); break;
    case SortColumn::kFolder: ArrangeByColumn(folder_, hits, order.descending); break;
  }
}

// Descending keeps equal texts in entry order, as ascending does.
void SortRank::ArrangeByColumn(const Column& column, std::vector<std::int32_t>& hits, bool descending) const {
  const auto groups = static_cast<std::uint32_t>(column.group_end.size());
  if (static_cast<std::int64_t>(hits.size()) * kWalkShare < count_) {
    std::vector<std::uint64_t> keys;
    keys.reserve(hits.size());
    for (std::int32_t e : hits) {
      const std::uint32_t g = column.group[static_cast<std::size_t>(e)];
      keys.push_back(std::uint64_t{descending ? groups - 1 - g : g} << 32 | static_cast<std::uint32_t>(e));
    }
    std::sort(keys.begin(), keys.end());
    for (std::size_t k = 0; k < keys.size(); ++k) hits[k] = static_cast<std::int32_t>(keys[k] & 0xFFFFFFFFu);
    return;
  }
  const EntryMarks marks(count_, hits);
  std::size_t out = 0;
  auto take = [&](std::uint32_t from, std::uint32_t to) {
    for (std::uint32_t k = from; k < to; ++k) {
      const std::int32_t e = column.by_rank[k];
      if (marks.Has(e)) hits[out++] = e;
    }
  };
  if (!descending) {
    take(0, static_cast<std::uint32_t>(count_));
  } else {
    for (std::uint32_t g = groups; g-- > 0;) take(g > 0 ? column.group_end[g - 1] : 0, column.group_end[g]);
  }
}

void SortRank::ArrangeByEntry(std::vector<std::int32_t>& hits, bool descending) const {
  if (static_cast<std::int64_t>(hits.size()) * kWalkShare < count_) {
    if (descending) {
      std::sort(hits.begin(), hits.end(), std::greater<>());
    } else {
      std::sort(hits.begin(), hits.end());
    }
    return;
  }
  const EntryMarks marks(count_, hits);
  const std::vector<std::uint64_t>& words = marks.Words();
  std::size_t out = 0;
  for (std::size_t w = 0; w < words.size(); ++w) {
    const std::size_t word = descending ? words.size() - 1 - w : w;
    for (std::uint64_t bits = words[word]; bits != 0;) {
      const int bit = descending ? 63 - __builtin_clzll(bits) : __builtin_ctzll(bits);
      bits &= ~(std::uint64_t{1} << bit);
      hits[out++] = static_cast<std::int32_t>(word * 64 + static_cast<std::size_t>(bit));
    }
  }
}

}  // namespace tandrel::search
