// The search core: FoldCase and MatchName, the length test, the kind filter, the fast
// scan of an index table and the orders in which hits can be listed. Nothing here knows a window; the search behind the query field
// is search/window/search_window.h.
//
// The scan answers exactly what a plain pass over every entry with MatchName would, in
// table order; it only gets there faster (names folded once, a vectorised substring
// filter, the table split across the cores).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "index/index.h"
#include "index/live_index.h"
#include "platform/threads.h"

namespace tandrel::search {

// ---------------------------------------------------------------------------------------
// Matching

// Bytes a-z and 0xE0-0xFF lose 0x20; every other byte stays.
// (The byte map is FoldNameByte of the index, which folds the names once per table.)
std::string FoldCase(std::string_view text);

// Both texts already folded. Every space-separated word must occur in the name; within
// a word, the first occurrence of each "*"-separated piece must start at or after the
// first occurrence of the piece before it.
bool MatchName(std::string_view folded_name, std::string_view folded_query);

// The query's pieces, case-folded: the texts between spaces and "*", every one of which
// a matching name holds.
std::vector<std::string> QueryPieces(std::string_view query);

// The length test: more than 2 bytes besides the asterisks.
bool QueryLongEnough(std::string_view query);

enum class KindFilter { kFilesAndFolders, kFilesOnly, kFoldersOnly };
// The filter the two options choose.
KindFilter ChooseKindFilter(int files_option, int folders_option);

// ---------------------------------------------------------------------------------------
// Scanning

// The hits of one search: indices into the table snapshot that was scanned, which the
// list keeps alive. Row i is the i-th hit. Over a live version, indices past the table's
// entries are the added entries' (as ScanLiveIndex numbers them).
class SearchHits {
 public:
  SearchHits(std::shared_ptr<const index::IndexTable> table, std::vector<std::int32_t> hits)
      : table_(std::move(table)), hits_(std::move(hits)) {}
  SearchHits(const index::LiveIndexVersion& version, std::vector<std::int32_t> hits)
      : table_(version.table), added_(version.added), hits_(std::move(hits)) {}
  std::int32_t Count() const { return static_cast<std::int32_t>(hits_.size()); }
  // Empty for a row outside the list.
  std::string_view Name(std::int32_t row) const;
  std::string_view Folder(std::int32_t row) const;
  bool IsFolder(std::int32_t row) const;
  const std::shared_ptr<const index::IndexTable>& TablePtr() const { return table_; }
  // The live entries added to the table, which hits at or above its count refer to.
  const index::IndexTable* Added() const { return added_.get(); }
  const std::vector<std::int32_t>& Hits() const { return hits_; }
  // The same entries' hits in another order.
  SearchHits Rearranged(std::vector<std::int32_t> hits) const {
    SearchHits copy(table_, std::move(hits));
    copy.added_ = added_;
    return copy;
  }

 private:
  // The table that holds a hit, and its number there.
  std::pair<const index::IndexTable*, std::int32_t> Locate(std::int32_t row) const;

  std::shared_ptr<const index::IndexTable> table_;
  std::shared_ptr<const index::IndexTable> added_;  // null: none
  std::vector<std::int32_t> hits_;
};

struct ScanOptions {
  KindFilter filter = KindFilter::kFilesAndFolders;
  int threads = 0;                                  // 0: one per core
  std::atomic<std::int32_t>* hit_count = nullptr;   // raised as hits are found
  platform::StopToken stop;                         // a stopped scan returns false
};

// Scans every entry of `table` for `query` (as typed, not folded). False when the scan
// was stopped; `hits` is then incomplete.
bool ScanIndex(const index::IndexTable& table, std::string_view query, const ScanOptions& options,
               std::vector<std::int32_t>& hits);

// Scans a live version: the table's entries but the removed ones, then the added ones,
// in that order. A hit below the table's entry count is a table entry; one at or above
// it is added entry (hit - table count). False when the scan was stopped.
bool ScanLiveIndex(const index::LiveIndexVersion& version, std::string_view query,
                   const ScanOptions& options, std::vector<std::int32_t>& hits);

// ---------------------------------------------------------------------------------------
// Orders of the hits

// The order the hits are listed in: the table's own, or by name or folder (folded as the
// search folds, compared byte by byte; equal texts keep the table's order), either way.
enum class SortColumn { kIndexOrder, kName, kFolder };
struct HitOrder {
  SortColumn column = SortColumn::kIndexOrder;
  bool descending = false;
  friend bool operator==(const HitOrder&, const HitOrder&) = default;
};
// A click on `clicked`'s header: ascending first, then descending, then the table's order.
HitOrder NextHitOrder(HitOrder current, SortColumn clicked);

// Every entry's place by folded name and by folded folder, computed once per table (a
// second or so for millions of entries, so on a thread of its own), after which
// arranging any number of hits is a sort of integers.
class SortRank {
 public:
  // Null when `stop` was requested before it was done.
  static std::shared_ptr<const SortRank> Build(const index::IndexTable& table, const platform::StopToken& stop = {});

  // Puts `hits` (distinct entries of the table, in any order) in `order`.
  void Arrange(std::vector<std::int32_t>& hits, HitOrder order) const;

 private:
  struct Column {
    std::vector<std::uint32_t> group;      // per entry: the rank of its text among distinct texts
    std::vector<std::int32_t> by_rank;     // entries by (group, entry)
    std::vector<std::uint32_t> group_end;  // per group: the end of its entries in by_rank
  };
  void ArrangeByColumn(const Column& column, std::vector<std::int32_t>& hits, bool descending) const;
  void ArrangeByEntry(std::vector<std::int32_t>& hits, bool descending) const;

  std::int32_t count_ = 0;
  Column name_;
  Column folder_;
};

// Puts the hits of a live version in `order`: hits below the table's entry count by
// `rank` (built for `table`), the hits of `added` entries (at or above it) by the same
// folded texts, merged so that equal texts keep entry order (the table's entries first).
void ArrangeLiveHits(const SortRank& rank, const index::IndexTable& table, const index::IndexTable* added,
                     std::vector<std::int32_t>& hits, HitOrder order);

}  // namespace tandrel::search
