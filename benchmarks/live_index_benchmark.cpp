// The live index against its goals, each as a ratio to a peer measured in the same run
// (change to searchable is change_latency_timer's):
//   - a search over a 1,000,000-entry table with 100,000 live changes (50,000 removed,
//     50,000 added) against the same search over a freshly built table of the same
//     entries;
//   - loading that table's db.db with a journal of the 100,000 changes against loading
//     db.db alone;
//   - what the process uses in CPU time while a watch over a quiet tree of 2,000
//     folders waits, against the same time without a watch.
// Prints one table; run from the release build (benchmarks/README.md).
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "index/index_journal.h"
#include "index/indexing.h"
#include "index/live_keeper.h"
#include "platform/folder_watch.h"
#include "platform/platform.h"
#include "sample_index.h"
#include "search/search.h"

namespace tandrel::bench {
namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Percentile(std::vector<double> values, double share) {
  std::sort(values.begin(), values.end());
  const auto at = static_cast<std::size_t>(share * static_cast<double>(values.size() - 1) + 0.5);
  return values[at];
}

double Median(std::vector<double> values) { return Percentile(std::move(values), 0.5); }

void Row(const char* what, double measured, const char* unit, double peer, const char* peer_what, double goal) {
  std::printf("| %-44s | %10.3f %s | %-34s %10.3f %s | %6.3f | %s |\n", what, measured, unit, peer_what, peer, unit,
              measured / peer, measured / peer <= goal ? "met" : "MISSED");
}

// Searches a version and a fresh table of the same entries; the loaded file and journal.
void SearchAndLoad(const std::string& scratch) {
  const SampleIndex& sample = SampleIndexFile(1'000'000);
  const std::string db = scratch + "/db.db";
  std::filesystem::copy_file(sample.path, db, std::filesystem::copy_options::overwrite_existing);
  {
    index::LiveIndexKeeper keeper;
    // No fold: the journal is to hold all 100,000 changes.
    if (!keeper.Open(db, {.fold_divisor = 1, .min_fold_bytes = std::uint64_t{1} << 40})) return;
    const std::shared_ptr<const index::IndexTable> table = keeper.Slot().Current().table;
    std::vector<platform::FolderChange> batch;
    for (std::int32_t i = 0; i < 50'000; ++i) {
      const std::int32_t entry = i * (table->EntryCount() / 50'000);
      platform::FolderChange gone;
      gone.kind = platform::FolderChange::Kind::kVanished;
      gone.folder = table->Folder(entry);
      gone.name = table->Name(entry);
      batch.push_back(gone);
      platform::FolderChange made;
      made.kind = platform::FolderChange::Kind::kAppeared;
      made.folder = table->Folder(entry);
      made.name = "neu_" + std::to_string(i) + "_" + std::string(table->Name(entry));
      batch.push_back(made);
      if (batch.size() >= 1000) {
        keeper.Apply(batch, {});
        batch.clear();
      }
    }
    keeper.Apply(batch, {});
  }
  const auto load = [&](bool with_journal) {
    std::vector<double> times;
    for (int run = 0; run < 7; ++run) {
      const Clock::time_point start = Clock::now();
      if (with_journal) {
        const index::LoadedLiveIndex loaded = index::LoadLiveIndex(db);
        if (!loaded.journal.whole) std::puts("the journal did not replay whole");
      } else {
        (void)index::LoadIndexFile(db);
      }
      times.push_back(MillisecondsSince(start));
    }
    return Median(times);
  };
  // The keeper published its table; the loads below are to read db.db, not share it.
  index::PublishIndexTable(index::IndexTableBuilder().Finish());
  const double alone = load(false);
  const double journal = load(true);
  std::printf("| %-44s | %10.3f ms added to %.3f ms (goal: at most 100 ms added) | %s |\n",
              "load of db.db and 100,000 journaled changes", journal - alone, alone,
              journal - alone <= 100 ? "met" : "MISSED");

  const index::LoadedLiveIndex loaded = index::LoadLiveIndex(db);
  const index::LiveIndexVersion version = loaded.live->Publish();
  index::IndexTableBuilder builder;
  index::ForEachLiveEntry(version, [&](std::string_view name, std::string_view folder, std::int8_t kind) {
    (void)builder.Add(name, folder, kind);
  });
  const std::shared_ptr<const index::IndexTable> fresh = builder.Finish();
  for (const char* query : {"ung", "bericht pdf", "neu_4711"}) {
    std::vector<double> live_times;
    std::vector<double> fresh_times;
    for (int run = 0; run < 15; ++run) {
      std::vector<std::int32_t> hits;
      Clock::time_point start = Clock::now();
      (void)search::ScanLiveIndex(version, query, {}, hits);
      live_times.push_back(MillisecondsSince(start));
      const std::size_t live_hits = hits.size();
      hits.clear();
      start = Clock::now();
      (void)search::ScanIndex(*fresh, query, {}, hits);
      fresh_times.push_back(MillisecondsSince(start));
      if (hits.size() != live_hits) std::printf("hit counts differ for %s\n", query);
    }
    const std::string what = std::string("search `") + query + "`, 100,000 changes applied";
    Row(what.c_str(), Median(live_times), "ms", Median(fresh_times), "fresh table", 1.1);
  }
}

double ProcessCpuMs() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

void QuietWatch(const std::string& scratch) {
  const std::string root = scratch + "/quiet";
  for (int a = 0; a < 40; ++a) {
    for (int b = 0; b < 50; ++b) std::filesystem::create_directories(root + "/" + std::to_string(a) + "/" + std::to_string(b));
  }
  const auto cpu_while_waiting = [] {
    const double before = ProcessCpuMs();
    platform::StoppableWait().For(3000);
    return ProcessCpuMs() - before;
  };
  const double without = cpu_while_waiting();
  platform::FolderWatch watch;
  if (!watch.Start({root}, [](std::vector<platform::FolderChange>&) {})) return;
  const double with = cpu_while_waiting();
  std::printf("| %-44s | %10.3f ms CPU in 3 s, %.3f ms without a watch (goal: no more) | %s |\n",
              "watch over 2,000 quiet folders", with, without, with <= without + 1.0 ? "met" : "MISSED");
}

}  // namespace
}  // namespace tandrel::bench

int main() {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each row as soon as it is measured
  const std::string scratch = tandrel::platform::TemporaryFolder() + "tandrel-live-bench";
  std::filesystem::remove_all(scratch);
  std::filesystem::create_directories(scratch);
  std::puts("| measured | value | peer | ratio | goal |");
  std::puts("|---|---|---|---|---|");
  tandrel::bench::SearchAndLoad(scratch);
  tandrel::bench::QuietWatch(scratch);
  std::filesystem::remove_all(scratch);
  return 0;
}
