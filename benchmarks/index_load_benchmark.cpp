// How fast a large db.db loads, and what the loaded table costs in memory, measured
// against two peers in the same run: reading the file's bytes sequentially (the upper
// bound for any loader) and loading it into a plain vector of string records.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "index/index.h"
#include "platform/platform.h"
#include "sample_index.h"

namespace tandrel::bench {
namespace {

constexpr std::int64_t kRecords = 1'000'000;

void SetByteCounters(benchmark::State& state, const SampleIndex& sample) {
  state.SetBytesProcessed(state.iterations() * sample.bytes);
  state.SetItemsProcessed(state.iterations() * sample.records);
}

// Peer: every byte of the file through the buffered file, nothing parsed.
void BM_SequentialRead(benchmark::State& state) {
  const SampleIndex& sample = SampleIndexFile(kRecords);
  const auto buffer_size = static_cast<std::size_t>(state.range(0));
  std::vector<char> chunk(buffer_size);
  for (auto _ : state) {
    platform::File file(sample.path, platform::OpenMode::kRead, buffer_size);
    std::size_t total = 0;
    for (std::size_t got; (got = file.Read(chunk.data(), chunk.size())) > 0;) total += got;
    benchmark::DoNotOptimize(total);
  }
  SetByteCounters(state, sample);
}
BENCHMARK(BM_SequentialRead)->Arg(4096)->Arg(65536)->Unit(benchmark::kMillisecond);

// Peer: the straightforward table, one record of two std::strings per entry, read
// through a 4 KiB buffer.
void BM_LoadIntoStringVector(benchmark::State& state) {
  const SampleIndex& sample = SampleIndexFile(kRecords);
  std::size_t bytes = 0;
  for (auto _ : state) {
    platform::File file(sample.path, platform::OpenMode::kRead);
    std::vector<index::IndexEntry> table;
    index::IndexEntry record;
    while (!file.AtEnd()) {
      index::ReadIndexRecord(file, record);
      table.push_back(record);
    }
    bytes = table.capacity() * sizeof(index::IndexEntry);
    for (const index::IndexEntry& e : table) {
      // Short strings live inside the object; longer ones take a heap block.
      if (e.name.capacity() > 15) bytes += e.name.capacity() + 1;
      if (e.folder.capacity() > 15) bytes += e.folder.capacity() + 1;
    }
    benchmark::DoNotOptimize(table.data());
  }
  SetByteCounters(state, sample);
  state.counters["heap_bytes_per_record"] = static_cast<double>(bytes) / static_cast<double>(sample.records);
  state.counters["file_bytes_per_record"] = static_cast<double>(sample.bytes) / static_cast<double>(sample.records);
}
BENCHMARK(BM_LoadIntoStringVector)->Unit(benchmark::kMillisecond);

void BM_ReadIndexFile(benchmark::State& state) {
  const SampleIndex& sample = SampleIndexFile(kRecords);
  std::size_t bytes = 0;
  std::int32_t folders = 0;
  for (auto _ : state) {
    const auto table = index::ReadIndexFile(sample.path);
    bytes = table->MemoryBytes();
    folders = table->DistinctFolderCount();
    benchmark::DoNotOptimize(table.get());
  }
  SetByteCounters(state, sample);
  state.counters["heap_bytes_per_record"] = static_cast<double>(bytes) / static_cast<double>(sample.records);
  state.counters["file_bytes_per_record"] = static_cast<double>(sample.bytes) / static_cast<double>(sample.records);
  state.counters["distinct_folders"] = folders;
}
// The load parses on two threads: its CPU time is the process's, both threads summed.
BENCHMARK(BM_ReadIndexFile)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

// The same table from the snapshot an indexing run leaves beside the file.
void BM_LoadIndexSnapshot(benchmark::State& state) {
  const SampleIndex& sample = SampleIndexFile(kRecords);
  bool from_snapshot = false;
  for (auto _ : state) {
    const index::LoadedIndex loaded = index::LoadIndexFile(sample.path);
    from_snapshot = loaded.from_snapshot;
    benchmark::DoNotOptimize(loaded.table.get());
  }
  if (!from_snapshot) state.SkipWithError("the snapshot was not used");
  SetByteCounters(state, sample);
}
BENCHMARK(BM_LoadIndexSnapshot)->Unit(benchmark::kMillisecond);

// Heap bytes in use (small blocks and mmapped large ones), from the C library.
double HeapBytesInUse() {
  const struct mallinfo2 info = mallinfo2();
  return static_cast<double>(info.uordblks + info.hblkhd);
}

// Resident memory in bytes, from /proc/self/statm.
double ResidentBytes() {
  std::FILE* f = std::fopen("/proc/self/statm", "r");
  if (f == nullptr) return 0;
  long pages_total = 0, pages_resident = 0;
  const int got = std::fscanf(f, "%ld %ld", &pages_total, &pages_resident);
  std::fclose(f);
  return got == 2 ? static_cast<double>(pages_resident) * 4096.0 : 0;
}

// Keeps each benchmark's fastest repetition, wall and CPU time, so that the ratios to the
// peers can be printed. On a machine that other work keeps busy the wall times say
// little; the CPU times of the same run still compare.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration) continue;
      Keep(real_[run.benchmark_name()], run.GetAdjustedRealTime());
      Keep(cpu_[run.benchmark_name()], run.GetAdjustedCPUTime());
    }
  }
  void PrintRatios() const {
    std::printf("\nratios of the fastest repetitions, wall (CPU); lower is better for the table:\n");
    PrintRatio("text load / sequential read, 64 KiB", "BM_ReadIndexFile/process_time", "BM_SequentialRead/65536");
    PrintRatio("text load / sequential read, 4 KiB", "BM_ReadIndexFile/process_time", "BM_SequentialRead/4096");
    PrintRatio("text load / string-vector load", "BM_ReadIndexFile/process_time", "BM_LoadIntoStringVector");
    PrintRatio("snapshot load / sequential read, 64 KiB", "BM_LoadIndexSnapshot", "BM_SequentialRead/65536");
    PrintRatio("snapshot load / text load", "BM_LoadIndexSnapshot", "BM_ReadIndexFile/process_time");
  }

 private:
  static void Keep(double& fastest, double time) {
    if (fastest == 0 || time < fastest) fastest = time;
  }
  static double Time(const std::map<std::string, double>& times, const std::string& name) {
    const auto found = times.find(name);
    return found == times.end() ? 0.0 : found->second;
  }
  void PrintRatio(const char* label, const std::string& load, const std::string& peer) const {
    const double real = Time(real_, peer);
    const double cpu = Time(cpu_, peer);
    if (real <= 0 || Time(real_, load) <= 0) return;  // not run (filtered out)
    std::printf("  %-40s %6.3f (%.3f)\n", label, Time(real_, load) / real,
                cpu > 0 ? Time(cpu_, load) / cpu : 0.0);
  }
  std::map<std::string, double> real_;
  std::map<std::string, double> cpu_;
};

}  // namespace
}  // namespace tandrel::bench

int main(int argc, char** argv) {
  using namespace tandrel;
  const bench::SampleIndex& sample = bench::SampleIndexFile(bench::kRecords);
  // Memory of one loaded table as the process sees it: heap in use and resident pages.
  // Resident growth can read low when the load reuses pages freed by the generator.
  malloc_trim(0);
  const double heap_before = bench::HeapBytesInUse();
  const double resident_before = bench::ResidentBytes();
  {
    const auto table = index::ReadIndexFile(sample.path);
    const double heap = bench::HeapBytesInUse() - heap_before;
    const double resident = bench::ResidentBytes() - resident_before;
    const auto records = static_cast<double>(sample.records);
    std::printf("sample index: %lld records, %lld bytes (%.1f per record), %d folders\n",
                static_cast<long long>(sample.records), static_cast<long long>(sample.bytes),
                static_cast<double>(sample.bytes) / records, table->DistinctFolderCount());
    std::printf("loaded table: %.1f heap bytes per record (%.0f%% of the file), "
                "%.1f resident bytes per record (%.1f MB)\n",
                heap / records, 100.0 * heap / static_cast<double>(sample.bytes), resident / records,
                resident / 1e6);
  }
  index::RenewIndexSnapshot(sample.path);
  {
    const double resident_before_snapshot = bench::ResidentBytes();
    const index::LoadedIndex loaded = index::LoadIndexFile(sample.path);
    const double resident = bench::ResidentBytes() - resident_before_snapshot;
    std::printf("table from the snapshot (%s): %.1f MB resident (%.0f%% of the file)\n\n",
                loaded.from_snapshot ? "used" : "NOT USED", resident / 1e6,
                100.0 * resident / static_cast<double>(sample.bytes));
  }
  benchmark::Initialize(&argc, argv);
  bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  platform::RemoveFile(sample.path);
  platform::RemoveFile(index::SnapshotPathFor(sample.path));
  benchmark::Shutdown();
  return 0;
}
