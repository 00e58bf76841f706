// The scan of a whole table. It gives exactly the entries a plain pass with MatchName
// would, in table order, but tests MatchName only on candidates: entries whose folded
// name holds the query's longest piece, found by the piece finder in the folded arena.
// The table is cut into one slice per core; each slice keeps its own hits, and the
// slices' hits are joined in slice order.
#include <algorithm>

#include "search/piece_finder.h"
#include "search/search.h"

namespace tandrel::search {
namespace {

// Entries per block: the stop request and the shared hit count are looked at once per
// block, which is well under a millisecond of scanning.
constexpr std::int32_t kBlockEntries = 8192;
// Below this many name bytes per extra thread, starting it costs more than it saves.
constexpr std::size_t kMinBytesPerThread = 1 << 20;

struct CompiledQuery {
  std::string folded;
  std::vector<std::string_view> pieces;  // every non-empty piece of every word
  std::string_view anchor;               // the longest piece
  bool plain = false;  // one piece in all: finding it is the whole test
};

CompiledQuery CompileQuery(std::string_view query) {
  CompiledQuery q;
  q.folded = FoldCase(query);
  const std::string_view text = q.folded;
  std::size_t begin = 0;
  while (begin <= text.size()) {
    const std::size_t end = std::min(text.find_first_of(" *", begin), text.size());
    if (end > begin) q.pieces.push_back(text.substr(begin, end - begin));
    begin = end + 1;
  }
  for (const std::string_view piece : q.pieces) {
    if (piece.size() > q.anchor.size()) q.anchor = piece;
  }
  q.plain = q.pieces.size() == 1;
  return q;
}

}  // namespace

std::vector<std::string> QueryPieces(std::string_view query) {
  const CompiledQuery compiled = CompileQuery(query);
  return {compiled.pieces.begin(), compiled.pieces.end()};
}

namespace {

bool Qualifies(KindFilter filter, std::int8_t kind) {
  switch (filter) {
    case KindFilter::kFilesAndFolders: return true;
    case KindFilter::kFilesOnly: return kind == index::kEntryFile;
    case KindFilter::kFoldersOnly: return kind == index::kEntryFolder;
  }
  return false;
}

// The entry whose name holds arena offset `offset`, searching forward from `entry`,
// whose name starts at or before it: small steps first, since the candidates of an
// unselective piece lie close together. starts[end] lies beyond `offset`.
std::int32_t EntryAt(const std::uint32_t* starts, std::int32_t entry, std::int32_t end,
                     std::uint32_t offset) {
  std::int32_t low = entry;
  std::int32_t high = std::min(low + 1, end);
  for (std::int32_t step = 1; high < end && starts[high] <= offset; step *= 2) {
    low = high;
    high = std::min(low + step, end);
  }
  // The first name starting beyond `offset` lies in (low, high].
  return static_cast<std::int32_t>(std::upper_bound(starts + low + 1, starts + high + 1, offset) -
                                   starts) - 1;
}

class SliceScan {
 public:
  SliceScan(const index::IndexTable& table, const CompiledQuery& query, const ScanOptions& options)
      : table_(table), query_(query), options_(options) {}

  // Scans entries [begin, end) into `hits`; false when stopped.
  bool Run(std::int32_t begin, std::int32_t end, std::vector<std::int32_t>& hits) const {
    // Without pieces nearly every entry is a hit: room for all at once spares the
    // copies of a growing list, which cost more than the scan itself.
    if (query_.pieces.empty()) hits.reserve(hits.size() + static_cast<std::size_t>(end - begin));
    for (std::int32_t block = begin; block < end; block += kBlockEntries) {
      if (options_.stop.StopRequested()) return false;
      const std::size_t before = hits.size();
      const std::int32_t block_end = std::min(end, block + kBlockEntries);
      if (query_.pieces.empty()) {
        AddEveryQualifying(block, block_end, hits);
      } else {
        AddCandidates(block, block_end, hits);
      }
      if (options_.hit_count && hits.size() != before) {
        options_.hit_count->fetch_add(static_cast<std::int32_t>(hits.size() - before),
                                      std::memory_order_relaxed);
      }
    }
    return true;
  }

 private:
  // A query of spaces and asterisks only: every entry of the chosen kinds.
  void AddEveryQualifying(std::int32_t begin, std::int32_t end,
                          std::vector<std::int32_t>& hits) const {
    for (std::int32_t i = begin; i < end; ++i) {
      if (Qualifies(options_.filter, table_.Kind(i))) hits.push_back(i);
    }
  }

  void AddCandidates(std::int32_t begin, std::int32_t end, std::vector<std::int32_t>& hits) const {
    const char* arena = table_.FoldedNameArena();
    const std::uint32_t* starts = table_.NameStarts();
    const std::string_view anchor = query_.anchor;
    const char* block_end = arena + starts[end];
    std::int32_t entry = begin;
    const char* from = arena + starts[begin];
    while (const char* at = FindPiece(from, block_end, anchor)) {
      const auto offset = static_cast<std::uint32_t>(at - arena);
      entry = EntryAt(starts, entry, end, offset);
      const std::uint32_t name_end = starts[entry + 1];
      // An occurrence running across two names belongs to neither.
      if (offset + anchor.size() <= name_end && Qualifies(options_.filter, table_.Kind(entry)) &&
          (query_.plain || MatchName(table_.FoldedName(entry), query_.folded))) {
        hits.push_back(entry);
      }
      from = arena + name_end;
      ++entry;
      if (entry >= end) break;
    }
  }

  const index::IndexTable& table_;
  const CompiledQuery& query_;
  const ScanOptions& options_;
};

int ThreadCount(const index::IndexTable& table, int wanted) {
  if (wanted > 0) return std::clamp(wanted, 1, std::max(1, table.EntryCount()));
  const std::size_t bytes = table.NameStarts()[table.EntryCount()];
  const auto cores = static_cast<std::size_t>(platform::ProcessorCount());
  return static_cast<int>(std::min({cores, bytes / kMinBytesPerThread + 1, std::size_t{64}}));
}

// Slice boundaries that give each slice about the same number of name bytes.
std::vector<std::int32_t> SliceBounds(const index::IndexTable& table, int slices) {
  const std::uint32_t* starts = table.NameStarts();
  const std::int32_t count = table.EntryCount();
  const std::uint64_t bytes = starts[count];
  std::vector<std::int32_t> bounds{0};
  for (int s = 1; s < slices; ++s) {
    const auto target = static_cast<std::uint32_t>(bytes * static_cast<std::uint64_t>(s) /
                                                   static_cast<std::uint64_t>(slices));
    const auto at = static_cast<std::int32_t>(std::lower_bound(starts, starts + count, target) - starts);
    bounds.push_back(std::max(bounds.back(), at));
  }
  bounds.push_back(count);
  return bounds;
}

}  // namespace

bool ScanIndex(const index::IndexTable& table, std::string_view query, const ScanOptions& options,
               std::vector<std::int32_t>& hits) {
  const CompiledQuery compiled = CompileQuery(query);
  const SliceScan scan(table, compiled, options);
  // A query without pieces tests nothing but the kind: writing the hits is all its work,
  // and one list written once beats slices that are then copied together.
  const int threads = compiled.pieces.empty() ? 1 : ThreadCount(table, options.threads);
  if (threads == 1) return scan.Run(0, table.EntryCount(), hits);

  const std::vector<std::int32_t> bounds = SliceBounds(table, threads);
  std::vector<std::vector<std::int32_t>> slice_hits(static_cast<std::size_t>(threads));
  std::vector<char> completed(static_cast<std::size_t>(threads), 0);
  const auto run_slice = [&](std::size_t i) {
    completed[i] = scan.Run(bounds[i], bounds[i + 1], slice_hits[i]) ? 1 : 0;
  };
  {
    std::vector<platform::Thread> workers(static_cast<std::size_t>(threads - 1));
    std::vector<std::size_t> unstarted;  // slices the system gave no thread for
    for (std::size_t i = 1; i < completed.size(); ++i) {
      if (!workers[i - 1].Start([&run_slice, i](const platform::StopToken&) { run_slice(i); })) {
        unstarted.push_back(i);
      }
    }
    run_slice(0);
    for (const std::size_t i : unstarted) run_slice(i);
  }  // joined here
  if (std::find(completed.begin(), completed.end(), 0) != completed.end()) return false;

  std::size_t total = hits.size();
  for (const auto& part : slice_hits) total += part.size();
  hits.reserve(total);
  for (const auto& part : slice_hits) hits.insert(hits.end(), part.begin(), part.end());
  return true;
}

}  // namespace tandrel::search
