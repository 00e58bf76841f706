// The scan of a whole table. It gives exactly the entries a plain pass with MatchName
// would, in table order, but tests MatchName only on candidates: entries whose folded
// name holds the query's longest piece, found by the piece finder in the folded arena.
// The table is cut into a few slices per core, taken by the next free thread; each slice
// keeps its own hits, and the slices' hits are joined in slice order. A live version's
// scan is the same pass over the table, the removed entries left out of each slice's
// hits, with the added entries as slices of their own at the end.
#include <algorithm>
#include <atomic>
#include <optional>

#include "search/piece_finder.h"
#include "search/search.h"

namespace tandrel::search {
namespace {

// Entries per block: the stop request and the shared hit count are looked at once per
// block, which is well under a millisecond of scanning.
constexpr std::int32_t kBlockEntries = 8192;
// Below this many name bytes per extra thread, starting it costs more than it saves.
constexpr std::size_t kMinBytesPerThread = 1 << 20;
// Slices per thread: a thread that is done takes another, so the threads end together.
constexpr int kSlicesPerThread = 4;

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

std::size_t NameBytes(const index::IndexTable& table) { return table.NameStarts()[table.EntryCount()]; }

int ThreadCount(std::size_t bytes, std::int32_t entries, int wanted) {
  if (wanted > 0) return std::clamp(wanted, 1, std::max(1, entries));
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

// One slice of one table, for one thread: its hits are numbered from `offset` on, and
// the entries `removals` marks are left out.
struct SliceJob {
  const SliceScan* scan = nullptr;
  std::int32_t begin = 0;
  std::int32_t end = 0;
  std::int32_t offset = 0;
  const index::LiveIndexVersion* removals = nullptr;  // null: none
};

bool RunSliceJob(const SliceJob& job, const ScanOptions& options, std::vector<std::int32_t>& hits) {
  const std::size_t first = hits.size();
  if (!job.scan->Run(job.begin, job.end, hits)) return false;
  if (job.removals != nullptr && job.removals->removed_count > 0) {
    // The hit count shown while scanning may run ahead by the removed hits for a moment;
    // the list is what counts.
    const auto kept = std::remove_if(hits.begin() + static_cast<std::ptrdiff_t>(first), hits.end(),
                                     [&](std::int32_t i) { return job.removals->IsRemoved(i); });
    if (options.hit_count) {
      options.hit_count->fetch_sub(static_cast<std::int32_t>(hits.end() - kept), std::memory_order_relaxed);
    }
    hits.erase(kept, hits.end());
  }
  if (job.offset != 0) {
    for (std::size_t i = first; i < hits.size(); ++i) hits[i] += job.offset;
  }
  return true;
}

void AddSlices(std::vector<SliceJob>& jobs, const SliceScan& scan, const index::IndexTable& table, int slices,
               std::int32_t offset, const index::LiveIndexVersion* removals) {
  const std::vector<std::int32_t> bounds = SliceBounds(table, slices);
  for (std::size_t i = 0; i + 1 < bounds.size(); ++i) jobs.push_back({&scan, bounds[i], bounds[i + 1], offset, removals});
}

// Runs the jobs on `threads` threads, each taking the next job not yet taken, and joins
// their hits in job order.
bool RunSliceJobs(const std::vector<SliceJob>& jobs, int threads, const ScanOptions& options,
                  std::vector<std::int32_t>& hits) {
  std::vector<std::vector<std::int32_t>> slice_hits(jobs.size());
  std::vector<char> completed(jobs.size(), 0);
  std::atomic<std::size_t> next{0};
  const auto run_jobs = [&] {
    for (std::size_t i = next.fetch_add(1); i < jobs.size(); i = next.fetch_add(1)) {
      completed[i] = RunSliceJob(jobs[i], options, slice_hits[i]) ? 1 : 0;
    }
  };
  {
    // A thread the system does not give leaves its jobs to the others.
    std::vector<platform::Thread> workers(static_cast<std::size_t>(threads - 1));
    for (platform::Thread& worker : workers) (void)worker.Start([&run_jobs](const platform::StopToken&) { run_jobs(); });
    run_jobs();
  }  // joined here
  if (std::find(completed.begin(), completed.end(), 0) != completed.end()) return false;

  std::size_t total = hits.size();
  for (const auto& part : slice_hits) total += part.size();
  hits.reserve(total);
  for (const auto& part : slice_hits) hits.insert(hits.end(), part.begin(), part.end());
  return true;
}

// The table (without the entries `live` removed) and then `live`'s added entries, in one
// fan-out of threads: a second one for the added entries would cost a selective search
// more than their scan.
bool ScanTables(const index::IndexTable& table, const index::LiveIndexVersion* live, std::string_view query,
                const ScanOptions& options, std::vector<std::int32_t>& hits) {
  const CompiledQuery compiled = CompileQuery(query);
  const SliceScan table_scan(table, compiled, options);
  const index::IndexTable* added = live != nullptr && live->added && live->added->EntryCount() > 0 ? live->added.get() : nullptr;
  const std::size_t table_bytes = NameBytes(table);
  const std::size_t added_bytes = added != nullptr ? NameBytes(*added) : 0;
  const std::int32_t entries = table.EntryCount() + (added != nullptr ? added->EntryCount() : 0);
  // A query without pieces tests nothing but the kind: writing the hits is all its work,
  // and one list written once beats slices that are then copied together.
  const int threads = compiled.pieces.empty() ? 1 : ThreadCount(table_bytes + added_bytes, entries, options.threads);

  // Slices of about equal bytes, a few per thread, so that the threads end together
  // although the added entries' slices make the table's cut uneven.
  const double slice_bytes =
      static_cast<double>(std::max<std::size_t>(1, table_bytes + added_bytes)) / (kSlicesPerThread * threads);
  const auto slices_for = [&](std::size_t bytes) {
    if (threads == 1) return 1;
    return std::max(1, static_cast<int>(static_cast<double>(bytes) / slice_bytes + 0.5));
  };
  std::vector<SliceJob> jobs;
  AddSlices(jobs, table_scan, table, slices_for(table_bytes), 0, live);
  std::optional<SliceScan> added_scan;
  if (added != nullptr) {
    added_scan.emplace(*added, compiled, options);
    AddSlices(jobs, *added_scan, *added, slices_for(added_bytes), table.EntryCount(), nullptr);
  }
  if (threads > 1) return RunSliceJobs(jobs, threads, options, hits);
  for (const SliceJob& job : jobs) {
    if (!RunSliceJob(job, options, hits)) return false;
  }
  return true;
}

}  // namespace

bool ScanIndex(const index::IndexTable& table, std::string_view query, const ScanOptions& options,
               std::vector<std::int32_t>& hits) {
  return ScanTables(table, nullptr, query, options, hits);
}

bool ScanLiveIndex(const index::LiveIndexVersion& version, std::string_view query, const ScanOptions& options,
                   std::vector<std::int32_t>& hits) {
  return ScanTables(*version.table, &version, query, options, hits);
}

}  // namespace tandrel::search
