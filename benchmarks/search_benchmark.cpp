// How fast a search scans a large table, for five kinds of query, measured against two
// peers in the same run on the same names: plocate (its own database, built from the
// names with plocate-build) and grep over a file of the names, each as a whole process.
//
// The in-process figure is ScanIndex alone, the part a user waits for after Return; the
// peers' figures include starting their process, which is their whole answer time. The
// whole-process rows time `tdl search --count` against `plocate -b -i -c` (names only,
// as tdl matches): with the snapshot beside the index, and with --no-snapshot (the text).
//
// Sorting the hits by name or folder (a click on the list's header) is timed against a
// std::stable_sort of the same hits by folded string compare, the plain way to do it.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "index/index.h"
#include "platform/platform.h"
#include "sample_index.h"
#include "search/search.h"

extern char** environ;

namespace tandrel::bench {
namespace {

struct QueryClass {
  const char* label;
  const char* query;                 // as typed into the query field
  std::vector<std::string> plocate;  // the same question for plocate -i -c, in UTF-8
  std::string grep;                  // grep -F takes one string: the first piece
};

const std::vector<QueryClass>& QueryClasses() {
  static const std::vector<QueryClass> classes = {
      {"selective_word", "vertrag_1234", {"vertrag_1234"}, "vertrag_1234"},
      {"three_letters", "ung", {"ung"}, "ung"},
      {"two_words", "bericht pdf", {"bericht", "pdf"}, "bericht"},
      {"word_with_star", "projekt*doc", {"*projekt*doc*"}, "projekt"},
      {"three_spaces", "   ", {"/"}, ""},
      {"umlaut_word", "m\xFCller", {"m\xC3\xBCller"}, "m\xFCller"},
      {"no_hits", "quittung", {"quittung"}, "quittung"},
  };
  return classes;
}

// One loaded table per size, plus the peers' files built from the same names.
struct Corpus {
  std::shared_ptr<const index::IndexTable> table;
  SampleIndex sample;
  std::string names_file;    // one name per line, for grep
  std::string plocate_db;
};

std::string TempPath(const std::string& name) { return platform::TemporaryFolder() + name; }

// The exit code, -1 when it could not start or did not exit.
int RunQuiet(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int failed = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// plocate takes names and queries in UTF-8 only. The sample's names hold no bytes in
// 0x80-0x9F, where the code page differs from Latin-1, so each byte is its code point.
std::string Utf8Of(std::string_view name) {
  std::string out;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      out.push_back(c);
    } else {
      out.push_back(static_cast<char>(0xC0 | (byte >> 6)));
      out.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
    }
  }
  return out;
}

const Corpus& CorpusOf(std::int64_t records) {
  static std::map<std::int64_t, Corpus> made;
  auto found = made.find(records);
  if (found != made.end()) return found->second;
  Corpus corpus;
  corpus.sample = SampleIndexFile(records);
  corpus.table = index::ReadIndexFile(corpus.sample.path);
  const std::string tag = std::to_string(records);
  corpus.names_file = TempPath("tandrel-bench-names-" + tag + ".txt");
  const std::string paths_file = TempPath("tandrel-bench-paths-" + tag + ".txt");
  corpus.plocate_db = TempPath("tandrel-bench-" + tag + ".plocate");
  {
    platform::File names(corpus.names_file, platform::OpenMode::kCreate, 1 << 16);
    platform::File paths(paths_file, platform::OpenMode::kCreate, 1 << 16);
    for (std::int32_t i = 0; i < corpus.table->EntryCount(); ++i) {
      names.Write(corpus.table->Name(i));
      names.Write("\n");
      paths.Write("/");
      paths.Write(Utf8Of(corpus.table->Name(i)));
      paths.Write("\n");
    }
  }
  if (RunQuiet({"plocate-build", "--plaintext", paths_file, corpus.plocate_db}) != 0) {
    std::fprintf(stderr, "plocate-build failed: the plocate figures are missing\n");
  }
  // The snapshot an indexing run leaves beside db.db, for the whole-process rows.
  index::RenewIndexSnapshot(corpus.sample.path);
  platform::RemoveFile(paths_file);
  return made.emplace(records, std::move(corpus)).first->second;
}

void BM_Scan(benchmark::State& state, std::int64_t records, const QueryClass& q) {
  const Corpus& corpus = CorpusOf(records);
  std::size_t hits = 0;
  for (auto _ : state) {
    std::vector<std::int32_t> found;
    search::ScanIndex(*corpus.table, q.query, search::ScanOptions{}, found);
    hits = found.size();
    benchmark::DoNotOptimize(found.data());
  }
  state.counters["hits"] = static_cast<double>(hits);
  state.counters["table_bytes_per_file_byte"] =
      static_cast<double>(corpus.table->MemoryBytes()) / static_cast<double>(corpus.sample.bytes);
}

// Peak resident memory of one run of `argv` in MiB, 0 when GNU time is missing. Measured
// by GNU time, a small process, since a child of this large one counts the parent's
// pages in its own peak.
double PeakResidentMiB(const std::vector<std::string>& argv) {
  const std::string report = TempPath("tandrel-bench-peak.txt");
  std::vector<std::string> timed = {"/usr/bin/time", "-f", "%M", "-o", report};
  timed.insert(timed.end(), argv.begin(), argv.end());
  if (RunQuiet(timed) < 0) return 0;
  std::FILE* f = std::fopen(report.c_str(), "r");
  if (f == nullptr) return 0;
  // The figure is the last line; a line about a non-zero exit code may come first.
  long kib = 0;
  for (char line[256]; std::fgets(line, sizeof line, f) != nullptr;) std::sscanf(line, "%ld", &kib);
  std::fclose(f);
  platform::RemoveFile(report);
  return static_cast<double>(kib) / 1024.0;
}

void TimeProcess(benchmark::State& state, const std::vector<std::string>& argv) {
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const int code = RunQuiet(argv);
    const auto took = std::chrono::steady_clock::now() - start;
    if (code < 0) state.SkipWithError("the peer could not be started");
    state.SetIterationTime(std::chrono::duration<double>(took).count());
  }
  state.counters["peak_resident_MiB"] = PeakResidentMiB(argv);
}

void BM_Plocate(benchmark::State& state, std::int64_t records, const QueryClass& q) {
  const Corpus& corpus = CorpusOf(records);
  std::vector<std::string> argv = {"plocate", "-i", "-c", "-d", corpus.plocate_db};
  argv.insert(argv.end(), q.plocate.begin(), q.plocate.end());
  TimeProcess(state, argv);
}

void BM_PlocateBasename(benchmark::State& state, std::int64_t records, const QueryClass& q) {
  const Corpus& corpus = CorpusOf(records);
  // -b: the part after the last "/", which in this database is the whole name.
  std::vector<std::string> argv = {"plocate", "-b", "-i", "-c", "-d", corpus.plocate_db};
  argv.insert(argv.end(), q.plocate.begin(), q.plocate.end());
  TimeProcess(state, argv);
}

void BM_TdlSnapshot(benchmark::State& state, std::int64_t records, const QueryClass& q) {
  const Corpus& corpus = CorpusOf(records);
  TimeProcess(state, {TANDREL_TDL_PATH, "search", "--count", "--db", corpus.sample.path, q.query});
}

void BM_TdlText(benchmark::State& state, std::int64_t records, const QueryClass& q) {
  const Corpus& corpus = CorpusOf(records);
  TimeProcess(state, {TANDREL_TDL_PATH, "search", "--count", "--no-snapshot", "--db",
                      corpus.sample.path, q.query});
}

void BM_Grep(benchmark::State& state, std::int64_t records, const QueryClass& q) {
  const Corpus& corpus = CorpusOf(records);
  TimeProcess(state, {"grep", "-c", "-i", "-F", "-e", q.grep, corpus.names_file});
}

// The hits a sort is timed on: every entry (the most a list can show), and those of the
// three-letter query.
struct SortCase {
  const char* label;
  const char* query;  // null: every entry
};
const std::vector<SortCase>& SortCases() {
  static const std::vector<SortCase> cases = {{"all_entries", nullptr}, {"three_letters", "ung"}};
  return cases;
}

std::vector<std::int32_t> HitsOf(const index::IndexTable& table, const SortCase& c) {
  std::vector<std::int32_t> hits;
  if (c.query == nullptr) {
    hits.resize(static_cast<std::size_t>(table.EntryCount()));
    for (std::size_t i = 0; i < hits.size(); ++i) hits[i] = static_cast<std::int32_t>(i);
  } else {
    search::ScanIndex(table, c.query, search::ScanOptions{}, hits);
  }
  return hits;
}

const search::SortRank& RankOf(std::int64_t records) {
  static std::map<std::int64_t, std::shared_ptr<const search::SortRank>> made;
  auto& rank = made[records];
  if (rank == nullptr) rank = search::SortRank::Build(*CorpusOf(records).table);
  return *rank;
}

void BM_RankBuild(benchmark::State& state, std::int64_t records) {
  const Corpus& corpus = CorpusOf(records);
  for (auto _ : state) benchmark::DoNotOptimize(search::SortRank::Build(*corpus.table).get());
}

void BM_Arrange(benchmark::State& state, std::int64_t records, const SortCase& c, search::SortColumn column) {
  const std::vector<std::int32_t> hits = HitsOf(*CorpusOf(records).table, c);
  const search::SortRank& rank = RankOf(records);
  for (auto _ : state) {
    std::vector<std::int32_t> arranged = hits;
    rank.Arrange(arranged, {column, false});
    benchmark::DoNotOptimize(arranged.data());
  }
  state.counters["hits"] = static_cast<double>(hits.size());
}

// The peer: the hits sorted by their folded texts, compared as the search folds them.
void BM_StableSortFolded(benchmark::State& state, std::int64_t records, const SortCase& c, search::SortColumn column) {
  const index::IndexTable& table = *CorpusOf(records).table;
  const std::vector<std::int32_t> hits = HitsOf(table, c);
  for (auto _ : state) {
    std::vector<std::int32_t> arranged = hits;
    if (column == search::SortColumn::kName) {
      std::stable_sort(arranged.begin(), arranged.end(),
                       [&](std::int32_t a, std::int32_t b) { return table.FoldedName(a) < table.FoldedName(b); });
    } else {
      std::stable_sort(arranged.begin(), arranged.end(), [&](std::int32_t a, std::int32_t b) {
        return search::FoldCase(table.Folder(a)) < search::FoldCase(table.Folder(b));
      });
    }
    benchmark::DoNotOptimize(arranged.data());
  }
}

// Keeps the medians so that the ratios to the peers can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        medians_[run.run_name.function_name] = run.GetAdjustedRealTime();
        const auto peak = run.counters.find("peak_resident_MiB");
        if (peak != run.counters.end()) peaks_[run.run_name.function_name] = peak->second.value;
      }
    }
  }
  void PrintSortRatios(const std::vector<std::int64_t>& sizes) const {
    std::printf("\nsorting hits, medians in ms; ratio = by rank / std::stable_sort by folded text;"
                " the rank is built once per table\n");
    std::printf("%-10s %-14s %-7s %9s %12s %8s %11s\n", "entries", "hits", "column", "by rank", "stable_sort",
                "ratio", "rank build");
    for (const std::int64_t records : sizes) {
      const double build = Median("BM_RankBuild/" + std::to_string(records));
      for (const SortCase& c : SortCases()) {
        for (const char* column : {"name", "folder"}) {
          const std::string suffix = "/" + std::to_string(records) + "/" + c.label + "/" + column;
          const double rank = Median("BM_Arrange" + suffix);
          const double peer = Median("BM_StableSortFolded" + suffix);
          std::printf("%-10lld %-14s %-7s %9.2f %12.2f %8.4f %11.1f\n", static_cast<long long>(records), c.label,
                      column, rank, peer, peer > 0 ? rank / peer : 0.0, build);
        }
      }
    }
  }

  void PrintRatios(const std::vector<std::int64_t>& sizes) const {
    std::printf("\nmedians in ms; ratios = Tandrel's scan / peer (lower is better)\n");
    std::printf("%-10s %-16s %9s %9s %9s %8s %8s\n", "entries", "query", "scan", "plocate",
                "grep", "/plocate", "/grep");
    for (const std::int64_t records : sizes) {
      for (const QueryClass& q : QueryClasses()) {
        const std::string suffix = "/" + std::to_string(records) + "/" + q.label;
        const double scan = Median("BM_Scan" + suffix);
        const double plocate = Median("BM_Plocate" + suffix);
        const double grep = Median("BM_Grep" + suffix);
        std::printf("%-10lld %-16s %9.2f %9.2f %9.2f %8.3f %8.3f\n", static_cast<long long>(records),
                    q.label, scan, plocate, grep, plocate > 0 ? scan / plocate : 0.0,
                    grep > 0 ? scan / grep : 0.0);
      }
    }
    std::printf("\nwhole processes, medians in ms; ratios = tdl search --count / plocate -b -i -c;"
                " peak resident MiB\n");
    std::printf("%-10s %-16s %9s %9s %9s %9s %9s %8s %8s %8s\n", "entries", "query", "snapshot", "text",
                "plocate-b", "/plocate", "text/pl", "MiB snap", "MiB text", "MiB pl");
    for (const std::int64_t records : sizes) {
      for (const QueryClass& q : QueryClasses()) {
        const std::string suffix = "/" + std::to_string(records) + "/" + q.label;
        const double snapshot = Median("BM_TdlSnapshot" + suffix);
        const double text = Median("BM_TdlText" + suffix);
        const double plocate = Median("BM_PlocateBasename" + suffix);
        std::printf("%-10lld %-16s %9.2f %9.2f %9.2f %9.3f %9.3f %8.1f %8.1f %8.1f\n",
                    static_cast<long long>(records), q.label, snapshot, text, plocate,
                    plocate > 0 ? snapshot / plocate : 0.0, plocate > 0 ? text / plocate : 0.0,
                    Peak("BM_TdlSnapshot" + suffix), Peak("BM_TdlText" + suffix),
                    Peak("BM_PlocateBasename" + suffix));
      }
    }
  }

 private:
  double Median(const std::string& name) const {
    const auto found = medians_.find(name);
    return found == medians_.end() ? 0.0 : found->second;
  }
  double Peak(const std::string& name) const {
    const auto found = peaks_.find(name);
    return found == peaks_.end() ? 0.0 : found->second;
  }
  std::map<std::string, double> medians_;
  std::map<std::string, double> peaks_;  // peak resident MiB of the whole-process rows
};

void RegisterSorts(const std::vector<std::int64_t>& sizes) {
  for (const std::int64_t records : sizes) {
    benchmark::RegisterBenchmark(("BM_RankBuild/" + std::to_string(records)).c_str(), BM_RankBuild, records)
        ->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3)->ReportAggregatesOnly(true);
    for (const SortCase& c : SortCases()) {
      for (const auto& [label, column] : {std::pair{"name", search::SortColumn::kName}, std::pair{"folder", search::SortColumn::kFolder}}) {
        const std::string suffix = "/" + std::to_string(records) + "/" + c.label + "/" + label;
        benchmark::RegisterBenchmark(("BM_Arrange" + suffix).c_str(), BM_Arrange, records, c, column)
            ->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true);
        benchmark::RegisterBenchmark(("BM_StableSortFolded" + suffix).c_str(), BM_StableSortFolded, records, c, column)
            ->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3)->ReportAggregatesOnly(true);
      }
    }
  }
}

void RegisterAll(const std::vector<std::int64_t>& sizes) {
  RegisterSorts(sizes);
  for (const std::int64_t records : sizes) {
    for (const QueryClass& q : QueryClasses()) {
      const std::string suffix = "/" + std::to_string(records) + "/" + q.label;
      benchmark::RegisterBenchmark(("BM_Scan" + suffix).c_str(), BM_Scan, records, q)
          ->Unit(benchmark::kMillisecond)->Repetitions(15)->ReportAggregatesOnly(true);
      benchmark::RegisterBenchmark(("BM_Plocate" + suffix).c_str(), BM_Plocate, records, q)
          ->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3)->Repetitions(7)
          ->ReportAggregatesOnly(true);
      benchmark::RegisterBenchmark(("BM_Grep" + suffix).c_str(), BM_Grep, records, q)
          ->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3)->Repetitions(7)
          ->ReportAggregatesOnly(true);
      benchmark::RegisterBenchmark(("BM_PlocateBasename" + suffix).c_str(), BM_PlocateBasename,
                                   records, q)
          ->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3)->Repetitions(7)
          ->ReportAggregatesOnly(true);
      benchmark::RegisterBenchmark(("BM_TdlSnapshot" + suffix).c_str(), BM_TdlSnapshot, records, q)
          ->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3)->Repetitions(7)
          ->ReportAggregatesOnly(true);
      // The text load takes seconds at 10M: fewer runs.
      benchmark::RegisterBenchmark(("BM_TdlText" + suffix).c_str(), BM_TdlText, records, q)
          ->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1)->Repetitions(3)
          ->ReportAggregatesOnly(true);
    }
  }
}

}  // namespace
}  // namespace tandrel::bench

int main(int argc, char** argv) {
  using namespace tandrel;
  // TANDREL_BENCH_SIZES=1000000 limits the run to one size.
  std::vector<std::int64_t> sizes = {1'000'000, 10'000'000};
  if (const char* only = std::getenv("TANDREL_BENCH_SIZES")) sizes = {std::atoll(only)};
  for (const std::int64_t records : sizes) {
    const bench::Corpus& corpus = bench::CorpusOf(records);
    std::printf("%lld entries: db.db %lld bytes, loaded table %zu bytes (%.0f%% of the file)\n",
                static_cast<long long>(records), static_cast<long long>(corpus.sample.bytes),
                corpus.table->MemoryBytes(),
                100.0 * static_cast<double>(corpus.table->MemoryBytes()) /
                    static_cast<double>(corpus.sample.bytes));
  }
  bench::RegisterAll(sizes);
  benchmark::Initialize(&argc, argv);
  bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios(sizes);
  reporter.PrintSortRatios(sizes);
  for (const std::int64_t records : sizes) {
    const bench::Corpus& corpus = bench::CorpusOf(records);
    platform::RemoveFile(corpus.sample.path);
    platform::RemoveFile(index::SnapshotPathFor(corpus.sample.path));
    platform::RemoveFile(corpus.names_file);
    platform::RemoveFile(corpus.plocate_db);
  }
  benchmark::Shutdown();
  return 0;
}
