// Change to searchable: how long a file made below a watched folder takes to be in a
// published version of the live index, against the one-second goal. Built natively and
// for Windows, since the notifications under test are the system's own (Wine's under
// Wine): natively the files are made at depth 1 to 6, with --top-level only directly in
// the watched folder (Wine 8.0 reports nothing deeper).
//   - 300 single changes, one at a time;
//   - a burst of 10,000 files made as fast as one thread can (an archive unpacked),
//     each file's time from its making to the first version that holds it.
// Prints one table (benchmarks/README.md).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "index/live_keeper.h"
#include "platform/folder_watch.h"
#include "platform/platform.h"

namespace tandrel::bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr double kGoalMs = 1000.0;

double Milliseconds(Clock::time_point from, Clock::time_point to) {
  return std::max(0.0, std::chrono::duration<double, std::milli>(to - from).count());
}

double Percentile(std::vector<double> values, double share) {
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(share * static_cast<double>(values.size() - 1) + 0.5)];
}

void Row(const std::string& what, double measured) {
  std::printf("| %-48s | %10.3f ms | %6.0f ms | %7.4f | %s |\n", what.c_str(), measured, kGoalMs, measured / kGoalMs,
              measured <= kGoalMs ? "met" : "MISSED");
}

std::string Join(const std::string& folder, const std::string& name) { return folder + platform::kPathSeparator + name; }

// A watched folder with sub-folders six deep, a keeper over an empty index, and the
// count of live entries of one folder whose names start alike.
class WatchedTree {
 public:
  explicit WatchedTree(const std::string& base) : base_(base), root_(Join(base, "root")) {
    std::string folder = root_;
    for (int depth = 1; depth <= 6; ++depth) {
      folder = Join(folder, "ebene" + std::to_string(depth));
      depths_.push_back(folder);
    }
    std::filesystem::create_directories(depths_.back());
    platform::File db(Join(base_, "db.db"), platform::OpenMode::kCreate);
    ok_ = db.IsOpen() && db.Close() && keeper_.Open(Join(base_, "db.db")) && keeper_.CatchUp(root_) &&
          watch_.Start({root_}, [this](std::vector<platform::FolderChange>& batch) { keeper_.Apply(batch, {root_}); });
  }
  bool Ok() const { return ok_; }
  const std::string& Root() const { return root_; }
  const std::vector<std::string>& Depths() const { return depths_; }

  // For each of `count` files made in `folder` one after the other, the milliseconds from
  // its making to the first published version that holds it; empty when one cannot be
  // made. With `burst` the files are made by a thread of their own as fast as it can,
  // otherwise each only once the one before it is found. The watch reports them in the
  // order they were made.
  std::vector<double> Latencies(const std::string& folder, const std::string& stem, int count, bool burst) {
    const auto n = static_cast<std::size_t>(count);
    std::vector<Clock::time_point> made(n);
    std::vector<Clock::time_point> found(n);
    std::atomic<std::size_t> made_count{0};
    std::atomic<bool> failed{false};
    const auto make = [&](std::size_t i) {
      platform::File file(Join(folder, stem + std::to_string(i)), platform::OpenMode::kCreate);
      if (!file.IsOpen() || !file.Close()) failed = true;
      made[i] = Clock::now();
      made_count.store(i + 1, std::memory_order_release);
    };
    platform::Thread maker;
    if (burst && !maker.Start([&](const platform::StopToken&) {
          for (std::size_t i = 0; i < n && !failed; ++i) make(i);
        })) {
      return {};
    }
    std::size_t seen = 0;
    while (seen < n && !failed) {
      if (!burst && made_count.load(std::memory_order_acquire) == seen) make(seen);
      const std::size_t now_seen = CountIn(folder, stem);
      const Clock::time_point at = Clock::now();
      for (; seen < now_seen && seen < n; ++seen) found[seen] = at;
      std::this_thread::yield();
    }
    maker.Wait();
    std::vector<double> latencies;
    for (std::size_t i = 0; i < n && !failed; ++i) latencies.push_back(Milliseconds(made[i], found[i]));
    return latencies;
  }

 private:
  std::size_t CountIn(const std::string& folder, const std::string& stem) const {
    // A fold moves the added entries into the table: both are counted.
    std::size_t count = 0;
    index::ForEachLiveEntry(keeper_.Slot().Current(), [&](std::string_view name, std::string_view in, std::int8_t) {
      count += in == folder && name.starts_with(stem) ? 1 : 0;
    });
    return count;
  }

  std::string base_;
  std::string root_;
  std::vector<std::string> depths_;
  index::LiveIndexKeeper keeper_;
  platform::FolderWatch watch_;
  bool ok_ = false;
};

int Measure(const std::string& scratch, bool top_level) {
  WatchedTree tree(scratch);
  if (!tree.Ok()) {
    std::puts("the watch could not start");
    return 1;
  }
  std::puts("| measured | value | goal | ratio | |");
  std::puts("|---|---|---|---|---|");
  std::vector<double> singles;
  for (int i = 0; i < 300; ++i) {
    const std::string& folder =
        top_level ? tree.Root() : tree.Depths()[static_cast<std::size_t>(i) % tree.Depths().size()];
    const std::vector<double> one = tree.Latencies(folder, "einzeln" + std::to_string(i) + "_", 1, false);
    if (one.empty()) return 1;
    singles.push_back(one.front());
  }
  const std::string where = top_level ? "top level" : "depth 1-6";
  Row("single change, median (300, " + where + ")", Percentile(singles, 0.5));
  Row("single change, 99th percentile", Percentile(singles, 0.99));
  const std::vector<double> burst = tree.Latencies(top_level ? tree.Root() : tree.Depths()[2], "paket", 10'000, true);
  if (burst.empty()) {
    std::puts("the burst's files could not be made");
    return 1;
  }
  Row("burst of 10,000 files, 99th percentile", Percentile(burst, 0.99));
  Row("burst of 10,000 files, the slowest", *std::max_element(burst.begin(), burst.end()));
  return 0;
}

}  // namespace
}  // namespace tandrel::bench

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each row as soon as it is measured
  const bool top_level = argc > 1 && std::strcmp(argv[1], "--top-level") == 0;
  const std::string scratch = tandrel::platform::TemporaryFolder() + "tandrel-change-latency";
  std::filesystem::remove_all(scratch);
  std::filesystem::create_directories(scratch);
  const int status = tandrel::bench::Measure(scratch, top_level);
  std::filesystem::remove_all(scratch);
  return status;
}
