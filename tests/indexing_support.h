// Helpers for the indexing tests: building trees, reading walk and index files back,
// and an observer that records what a run shows.
#pragma once

#include <string>
#include <tuple>
#include <vector>

#include "index/indexing.h"
#include "test_support.h"

namespace tandrel::test {

using Record = std::tuple<std::string, std::string, int>;  // name, folder, kind

inline std::vector<Record> ReadRecords(const std::string& path) {
  std::vector<Record> records;
  platform::File file(path, platform::OpenMode::kRead);
  index::IndexEntry entry;
  while (file.IsOpen() && !file.AtEnd()) {
    index::ReadIndexRecord(file, entry);
    records.emplace_back(entry.name, entry.folder, entry.kind);
  }
  return records;
}

inline std::string IndexBytes(const std::vector<Record>& records) {
  std::string bytes;
  for (const auto& [name, folder, kind] : records) {
    bytes += name + "\r\n" + folder + "\r\n" + static_cast<char>(kind);
  }
  return bytes;
}

inline std::string Join(const std::string& folder, const std::string& name) {
  return folder + platform::kPathSeparator + name;
}

// Walks `folders` into a fresh walk file at `walk_file` and returns its records.
inline std::vector<Record> Walk(const std::string& walk_file,
                                const std::vector<std::string>& folders) {
  EXPECT_TRUE(index::IndexTempFile.Create(walk_file));
  for (const std::string& folder : folders) index::ScanFolder(folder);
  // Closing for the merge raises the merge flag; these tests merge nothing.
  EXPECT_TRUE(index::IndexTempFile.CloseAndStartMerge());
  index::IndexMerging.store(0);
  return ReadRecords(walk_file);
}

// Every hook call as one line, in order; safe from the run's and the ticker's threads.
class RecordingObserver : public index::IndexRunObserver {
 public:
  void ShowProgress(std::string_view text) override { Note("progress " + std::string(text)); }
  void ShowDone() override { Note("done"); }
  void ShowBusy(bool busy) override { Note(busy ? "busy" : "idle"); }
  void ShowTooltip(std::string_view text) override { Note("tooltip " + std::string(text)); }
  void EnableStartItems(bool enabled) override { Note(enabled ? "items on" : "items off"); }
  bool SearchRunning() override {
    platform::LockGuard hold(lock_);
    lines_.push_back("search?");
    if (busy_polls_ == 0) return false;
    --busy_polls_;
    return true;
  }
  void ClearLastQuery() override { Note("clear query"); }

  void SetBusySearchPolls(int polls) {
    platform::LockGuard hold(lock_);
    busy_polls_ = polls;
  }
  // The lines without the ticker's updates, which depend on timing.
  std::vector<std::string> Lines() const {
    platform::LockGuard hold(lock_);
    std::vector<std::string> kept;
    for (const std::string& line : lines_) {
      if (line.find("Indexieren (") == std::string::npos) kept.push_back(line);
    }
    return kept;
  }

 private:
  void Note(std::string line) {
    platform::LockGuard hold(lock_);
    lines_.push_back(std::move(line));
  }
  mutable platform::Mutex lock_;
  std::vector<std::string> lines_;
  int busy_polls_ = 0;
};

}  // namespace tandrel::test
