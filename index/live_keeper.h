// Keeps an index file, its journal and the live index current from the changes of a
// folder watch: the one writer of the three while it runs (its owner holds the index
// files' claim). Every batch of changes is on the disk, in the journal, before searches
// see it; once the journal outgrows a fraction of the index file, both are folded into a
// new index file, written beside it and put in its place in one step.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "index/index_journal.h"
#include "index/live_index.h"
#include "platform/folder_watch.h"

namespace tandrel::index {

// The live state of an index file as a reader finds it: the file's table (or the empty
// table when it cannot be read), then its journal when that belongs to it.
struct LoadedLiveIndex {
  std::unique_ptr<LiveIndex> live;
  IndexFileIdentity identity;
  bool index_read = false;
  JournalReplay journal;
};
LoadedLiveIndex LoadLiveIndex(const std::string& index_path, const LoadOptions& options = {});

class LiveIndexKeeper {
 public:
  struct Options {
    // The journal is folded once it holds more than this share of the index file's
    // bytes, and at least kMinFoldBytes.
    std::uint64_t fold_divisor = 4;
    std::uint64_t min_fold_bytes = 256 * 1024;
  };

  // Loads `index_path` and its journal; a journal that does not belong to the file is
  // replaced by an empty one, one with a damaged end is folded at once. False when
  // neither index nor journal can be written.
  [[nodiscard]] bool Open(const std::string& index_path, Options options);
  [[nodiscard]] bool Open(const std::string& index_path) { return Open(index_path, Options{}); }

  // Applies a batch of the watch's changes (a folder that appeared comes with its
  // entries), writes the steps to the journal, then publishes. `roots` are the watch's
  // roots.
  void Apply(const std::vector<platform::FolderChange>& batch, const std::vector<std::string>& roots);
  // Walks `root` and makes what lies below it what the walk found, as one batch (the
  // changes made while Tandrel did not run). False when the root cannot be listed: then
  // nothing is below it any more. A stop ends the walk and records nothing.
  [[nodiscard]] bool CatchUp(const std::string& root, const platform::StopToken& stop = {});
  // Writes the live entries as a new index file and starts an empty journal for it.
  [[nodiscard]] bool Fold();

  // What searches read.
  const LiveIndexSlot& Slot() const { return slot_; }
  std::uint64_t JournalBytes() const { return journal_.Size(); }
  std::uint64_t Folds() const { return folds_; }

 private:
  void Appeared(const std::string& folder, const std::string& name, bool is_folder);
  bool Rescan(const std::string& root, const platform::StopToken& stop);
  void Commit();

  std::string index_path_;
  Options options_;
  std::unique_ptr<LiveIndex> live_;
  JournalWriter journal_;
  bool journal_broken_ = false;
  std::uint64_t index_bytes_ = 0;
  std::uint64_t folds_ = 0;
  LiveIndexSlot slot_;
};

}  // namespace tandrel::index
