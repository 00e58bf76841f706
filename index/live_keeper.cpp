// The writer of an index file, its journal and the live index.
#include "index/live_keeper.h"

#include <algorithm>

#include "index/indexing.h"
#include "platform/staged_file.h"

namespace tandrel::index {
namespace {

// What a walk of a root finds, held against the live index.
class LiveSink final : public ScanSink {
 public:
  LiveSink(LiveIndex& live, const platform::StopToken& stop) : live_(live), stop_(stop) {}
  void Add(std::string_view name, std::string_view folder, std::int8_t kind) override {
    live_.Found(folder, name, kind);
  }
  bool Stopped() const override { return stop_.StopRequested(); }

 private:
  LiveIndex& live_;
  const platform::StopToken& stop_;
};

std::shared_ptr<const IndexTable> EmptyTable() { return IndexTableBuilder().Finish(); }

}  // namespace

LoadedLiveIndex LoadLiveIndex(const std::string& index_path, const LoadOptions& options) {
  LoadedLiveIndex loaded;
  // The identity is taken before and after the load: a file replaced in between is read
  // once more, so that the journal is never applied to a table it does not belong to.
  for (int attempt = 0; attempt < 3; ++attempt) {
    const std::optional<IndexFileIdentity> before = IdentifyIndexFile(index_path);
    if (!before) break;
    // The program has this version loaded already: one table in memory, not two.
    std::shared_ptr<const IndexTable> table = PublishedIndexTableOf(*before);
    if (!table) table = LoadIndexFile(index_path, options).table;
    if (!table) break;
    if (IdentifyIndexFile(index_path) != before) continue;
    loaded.identity = *before;
    loaded.index_read = true;
    loaded.live = std::make_unique<LiveIndex>(std::move(table));
    loaded.journal = ReplayJournal(JournalPathFor(index_path), loaded.identity, *loaded.live);
    return loaded;
  }
  loaded.live = std::make_unique<LiveIndex>(EmptyTable());
  return loaded;
}

bool LiveIndexKeeper::Open(const std::string& index_path, Options options) {
  index_path_ = index_path;
  options_ = options;
  LoadedLiveIndex loaded = LoadLiveIndex(index_path);
  live_ = std::move(loaded.live);
  index_bytes_ = loaded.identity.size;
  // The process's table becomes the one kept here, so that an older one is not held on to.
  if (loaded.index_read) PublishIndexTable(live_->Table(), loaded.identity);
  slot_.Publish(live_->Publish());
  // Without an index file, or with a journal whose end did not apply, a new index file
  // holds exactly what the table shows now.
  if (!loaded.index_read || (loaded.journal.belongs && !loaded.journal.whole)) return Fold();
  if (loaded.journal.belongs) return journal_.Continue(JournalPathFor(index_path), loaded.journal.good_bytes);
  return journal_.Reset(JournalPathFor(index_path), loaded.identity);
}

void LiveIndexKeeper::Appeared(const std::string& folder, const std::string& name, bool is_folder) {
  // What a folder holds follows as changes of its own, listed by the watch.
  live_->Add(folder, name, is_folder ? kEntryFolder : kEntryFile);
}

bool LiveIndexKeeper::Rescan(const std::string& root, const platform::StopToken& stop) {
  // Only the differences are recorded: a root that did not change costs its walk alone.
  live_->BeginWalk(root);
  LiveSink sink(*live_, stop);
  const bool listed = ScanFolder(root, sink);
  // A walk cut short found only part of what is there: nothing is removed for it.
  if (stop.StopRequested()) {
    live_->EndWalk(false);
    return listed;
  }
  live_->EndWalk(true);  // a root that cannot be listed any more has nothing below it
  return listed;
}

bool LiveIndexKeeper::CatchUp(const std::string& root, const platform::StopToken& stop) {
  const bool listed = Rescan(root, stop);
  // What a stopped walk found is real, but is left to the next catch-up.
  if (!stop.StopRequested()) Commit();
  return listed;
}

void LiveIndexKeeper::Apply(const std::vector<platform::FolderChange>& batch,
                            const std::vector<std::string>& roots) {
  using Kind = platform::FolderChange::Kind;
  for (const platform::FolderChange& change : batch) {
    switch (change.kind) {
      case Kind::kAppeared: Appeared(change.folder, change.name, change.is_folder); break;
      case Kind::kVanished: live_->Remove(change.folder, change.name); break;
      case Kind::kMoved:
        live_->Remove(change.from_folder, change.from_name);
        Appeared(change.folder, change.name, change.is_folder);
        break;
      case Kind::kRescan:
        if (change.root < roots.size()) (void)Rescan(roots[change.root], {});
        break;
    }
  }
  Commit();
}

void LiveIndexKeeper::Commit() {
  const std::vector<LiveStep> steps = live_->TakeSteps();
  if (steps.empty()) return;
  // On the disk first; a journal that cannot be written any more does not hold the
  // changes back from searches, and the fold below tries to save them in the index.
  if (!journal_broken_ && !journal_.Append(steps)) journal_broken_ = true;
  slot_.Publish(live_->Publish());
  const std::uint64_t limit = std::max(options_.min_fold_bytes, index_bytes_ / options_.fold_divisor);
  if (journal_broken_ || journal_.Size() > limit) (void)Fold();
}

bool LiveIndexKeeper::Fold() {
  const LiveIndexVersion version = live_->Publish();
  IndexTableBuilder builder;
  platform::StagedFile staged(index_path_, kNewIndexSuffix);
  bool written = staged.IsOpen();
  ForEachLiveEntry(version, [&](std::string_view name, std::string_view folder, std::int8_t kind) {
    written = written && WriteIndexRecord(staged.Output(), name, folder, kind) &&
              builder.Add(name, folder, kind);
  });
  if (!staged.Commit(written, platform::Durability::kSynced, platform::ReplaceFileWhenFree)) {
    return false;
  }
  // From here the old journal names an index file that is gone, and no reader applies it.
  const std::optional<IndexFileIdentity> identity = IdentifyIndexFile(index_path_);
  if (!identity) return false;
  std::shared_ptr<const IndexTable> table = builder.Finish();
  journal_broken_ = !journal_.Reset(JournalPathFor(index_path_), *identity);
  index_bytes_ = identity->size;
  ++folds_;
  // The snapshot is a cache: one that cannot be written costs the next reader time only.
  (void)WriteIndexSnapshot(*table, *identity, SnapshotPathFor(index_path_));
  PublishIndexTable(table, *identity);
  live_ = std::make_unique<LiveIndex>(std::move(table));
  slot_.Publish(live_->Publish());
  return !journal_broken_;
}

}  // namespace tandrel::index
