// The indexing run: walk, merge, replace, wait for the search, reload, report.
#include "index/indexing.h"

#include "index/index_journal.h"
#include "platform/staged_file.h"

namespace tandrel::index {
namespace {

constexpr std::uint32_t kTickerPeriodMs = 250;
constexpr std::uint32_t kSearchPollMs = 250;
constexpr std::uint32_t kOtherRunPollMs = 250;

// The two places a run writes fixed names into: the index's folder (walk file, new
// index) and the bucket folder. A run holds both, or waits holding neither, so two runs
// can never wait for each other.
class RunClaims {
 public:
  // A folder that does not exist needs no claim: nobody can write into it, and this run
  // will fail there and keep the previous index.
  bool TryTake(const std::string& index_folder, const std::string& bucket_folder) {
    const auto index_id = platform::IdentifyFolder(OrCurrent(index_folder));
    // A bucket folder of the run's own, or none at all: nobody else writes there.
    const auto bucket_id =
        bucket_folder.empty() ? std::nullopt : platform::IdentifyFolder(bucket_folder);
    if (index_id && !index_claim_.TryClaim(OrCurrent(index_folder))) return false;
    if (!bucket_id || bucket_id == index_id) return true;
    if (bucket_claim_.TryClaim(bucket_folder)) return true;
    index_claim_.Release();
    return false;
  }

 private:
  static std::string OrCurrent(const std::string& folder) { return folder.empty() ? "." : folder; }

  platform::FolderClaim index_claim_;
  platform::FolderClaim bucket_claim_;
};

// The bucket folder the plan names, shared with whoever names it too; a run's private one
// needs no claim.
bool TakeClaims(RunClaims& claims, const IndexRunPlan& plan) {
  const std::string index_folder = platform::FolderOfPath(plan.index_file);
  platform::StoppableWait poll(plan.stop);
  for (;;) {
    if (claims.TryTake(index_folder, plan.bucket_folder)) return true;
    if (!plan.wait_for_other_run || !poll.For(kOtherRunPollMs)) return false;
  }
}

std::size_t GivenFolderCount(const IndexRunPlan& plan) {
  std::size_t given = 0;
  for (const std::string& folder : plan.folders) given += folder.empty() ? 0 : 1;
  return given;
}

std::string FileCountText(const char* head, std::int32_t files) {
  return head + std::to_string(files) + " Dateien)";
}

// The regrouping: the walk file through the 27 buckets into a new index beside db.db,
// which then replaces it in one step. The walk file is complete here.
IndexRunOutcome MergeAndReplace(const IndexRunPlan& plan, const std::string& bucket_folder) {
  if (bucket_folder.empty()) {  // no folder for the buckets could be made
    platform::RemoveFile(plan.walk_file);
    return IndexRunOutcome::kMergeFailed;
  }
  platform::StagedFile index(plan.index_file, kNewIndexSuffix);
  const bool merged = MergeWalkFile(plan.walk_file, bucket_folder, index.Output());
  if (!index.Finish(merged, platform::Durability::kSynced)) return IndexRunOutcome::kMergeFailed;
  if (!index.PutInPlace(platform::ReplaceFileWhenFree)) return IndexRunOutcome::kNotReplaced;
  // The live changes journaled against the previous index are in the walk, or gone from
  // the disk. A journal left behind would be ignored (it names the previous index file),
  // but it is not left to lie there.
  platform::RemoveFile(JournalPathFor(plan.index_file));
  return IndexRunOutcome::kReplaced;
}

// "Optimiere Index...": the walk becomes the new index, or the previous one stays. Without
// a bucket folder of its own the merge regroups in a private folder made for it alone, so
// that the fixed bucket names never lie open in a temporary folder other users share; the
// folder is gone again before the run lets a waiting quit sequence end the process.
IndexRunOutcome MergeStep(const IndexRunPlan& plan, IndexRunObserver& observer, IndexRunState& state,
                          const std::vector<std::string>& unlisted_folders) {
  const std::optional<platform::PrivateFolder> private_buckets =
      plan.bucket_folder.empty() ? platform::PrivateFolder::Create() : std::nullopt;
  const std::string bucket_folder = private_buckets ? private_buckets->Path() : plan.bucket_folder;
  observer.ShowProgress("Optimiere Index...");
  // From here until the active flag is 0 the run touches only its files and the two flags:
  // the quit sequence may be waiting for it on the main thread.
  if (!unlisted_folders.empty() && unlisted_folders.size() == GivenFolderCount(plan)) {
    // An unplugged drive, an offline share or a typo: the empty walk must not replace the
    // index there is.
    state.walk_file.Abandon();
    return IndexRunOutcome::kNoFolderListed;
  }
  // No complete walk (the file could not be created or written, or the program is
  // quitting): the previous index stays rather than an empty or partial one.
  if (!state.walk_file.CloseAndStartMerge()) return IndexRunOutcome::kWalkFailed;
  return MergeAndReplace(plan, bucket_folder);
}

void WaitForSearchAndReload(const IndexRunPlan& plan, IndexRunObserver& observer,
                            LoadedIndex fresh) {
  observer.ShowProgress("Warte auf Suchvorgang");
  platform::StoppableWait poll(plan.stop);
  do {
    if (!poll.For(kSearchPollMs)) return;
  } while (observer.SearchRunning());
  observer.ShowProgress("Lade Index neu");
  // Missing or unreadable: the current table stays.
  if (!fresh.table) fresh = LoadIndexFile(plan.index_file);
  if (fresh.table) PublishIndexTable(std::move(fresh.table), fresh.identity);
}

}  // namespace

std::string IndexRunSuccessText(std::int32_t files, std::int32_t seconds) {
  return "Indexierung erfolgreich: " + std::to_string(files) + " Dateien in " +
         std::to_string(seconds) + " sek";
}

void IndexTicker(IndexRunObserver& observer, const platform::StopToken& stop,
                 const std::atomic<std::int32_t>& count) {
  // The stop ends the wait at once, never an update half-way.
  platform::StoppableWait period(stop);
  while (period.For(kTickerPeriodMs)) {
    const std::string text = FileCountText("Indexieren (", count.load());
    observer.ShowProgress(text);
    observer.ShowTooltip(text);
  }
}

IndexRunResult RunIndexing(const IndexRunPlan& plan, IndexRunObserver& observer) {
  return RunIndexing(plan, observer, ProcessIndexRun);
}

IndexRunResult RunIndexing(const IndexRunPlan& plan, IndexRunObserver& observer,
                           IndexRunState& state) {
  IndexRunResult result;
  observer.EnableStartItems(false);
  // Held until the reload is done, so that a later run (of this program or another)
  // starts only then; what this run shows begins once it has them, so an earlier run's
  // last texts cannot overwrite it.
  RunClaims claims;
  if (!TakeClaims(claims, plan)) {
    // Another run is renewing this index right now.
    result.outcome = IndexRunOutcome::kOtherRunBusy;
    observer.EnableStartItems(true);
    state.active.store(0);
    return result;
  }
  observer.ShowBusy(true);
  state.file_count.store(0);
  observer.ShowProgress(FileCountText("Indexiere (", 0));

  const std::uint32_t start = platform::TickCount();
  if (state.walk_file.Create(plan.walk_file)) {
    {
      // Without a thread to spare the walk goes on, only its count is not shown.
      platform::Thread ticker;
      (void)ticker.Start([&observer, &state](const platform::StopToken& stop) {
        IndexTicker(observer, stop, state.file_count);
      });
      for (const std::string& folder : plan.folders) {
        if (!folder.empty() && !ScanFolder(folder, state)) result.unlisted_folders.push_back(folder);
      }
    }  // the ticker is stopped between two updates and joined here
    observer.ShowTooltip("Tandrel");
  }
  // The count of this walk, kept before anything else can touch the counter.
  result.files = state.file_count.load();
  result.outcome = MergeStep(plan, observer, state, result.unlisted_folders);
  state.merging.store(0);
  result.seconds = static_cast<std::int32_t>((platform::TickCount() - start) / 1000);
  observer.EnableStartItems(true);
  state.active.store(0);

  // The new index's snapshot is written before anyone loads the new index.
  LoadedIndex fresh;
  if (result.outcome == IndexRunOutcome::kReplaced) fresh = RenewIndexSnapshot(plan.index_file);
  if (plan.reload) WaitForSearchAndReload(plan, observer, std::move(fresh));
  observer.ShowDone();
  observer.ShowProgress(result.outcome == IndexRunOutcome::kReplaced
                            ? IndexRunSuccessText(result.files, result.seconds)
                            : std::string(kIndexRunFailedText));
  observer.ShowBusy(false);
  observer.ClearLastQuery();
  return result;
}

}  // namespace tandrel::index
