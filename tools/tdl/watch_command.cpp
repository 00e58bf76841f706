// tdl watch: keeps an index file and its journal current while it runs.
#include <cstdio>
#include <string>
#include <vector>

#include "index/indexing.h"
#include "index/live_keeper.h"
#include "platform/folder_watch.h"
#include "platform/platform.h"
#include "tools/tdl/commands.h"
#include "tools/tdl/folder_args.h"

namespace tandrel::tdl {

const char kWatchUsage[] =
    "usage: tdl watch [--db FILE] [--settings FILE] [FOLDER...]\n"
    "\n"
    "Indexes the folders given, or else the folder list of the settings file, as\n"
    "tdl index does, then follows every change below them until it is ended (Ctrl+C):\n"
    "each file or folder created, renamed or deleted is in the journal beside the index\n"
    "file (FILE's name with .journal for .db) within a second, where tdl search finds\n"
    "it. When the journal has grown past a quarter of the index file, both are folded\n"
    "into a new index file. While it runs no indexing run can replace the index file.\n"
    "\n"
    "  --db FILE        the index file (default: db.db beside tdl)\n"
    "  --settings FILE  the settings file whose folders are watched (default:\n"
    "                   settings.conf beside tdl); not together with FOLDERs\n"
    "\n"
    "Each folder that cannot be watched is named on standard error (its changes then\n"
    "wait for the next indexing run). Exit status: 0 ended on request, 2 usage error,\n"
    "unreadable settings file, another run or watch holds the index, the index could\n"
    "not be written, or not one folder can be watched.\n";

namespace {

// Changes that come while the index is built wait here; afterwards they go straight
// into the keeper, on the watch's thread.
class ChangeRelay {
 public:
  void Receive(std::vector<platform::FolderChange>& batch) {
    platform::LockGuard hold(lock_);
    if (keeper_ == nullptr) {
      waiting_.insert(waiting_.end(), std::make_move_iterator(batch.begin()),
                      std::make_move_iterator(batch.end()));
      return;
    }
    keeper_->Apply(batch, roots_);
  }
  void Begin(index::LiveIndexKeeper& keeper, const std::vector<std::string>& roots) {
    platform::LockGuard hold(lock_);
    roots_ = roots;
    keeper.Apply(waiting_, roots_);
    waiting_.clear();
    keeper_ = &keeper;
  }

 private:
  platform::Mutex lock_;
  index::LiveIndexKeeper* keeper_ = nullptr;
  std::vector<std::string> roots_;
  std::vector<platform::FolderChange> waiting_;
};

}  // namespace

int RunWatchCommand(std::span<const std::string_view> args) {
  FolderArgs parsed;
  if (!ParseFolderArgs(args, "tdl watch", kWatchUsage, parsed)) return kExitUsage;
  if (parsed.help) {
    std::fputs(kWatchUsage, stdout);
    return FinishStandardOutput("tdl watch") ? 0 : kExitUsage;
  }
  std::vector<std::string> roots;
  if (!parsed.settings.empty()) {
    if (!ReadFolderList(parsed.settings, roots)) {
      std::fprintf(stderr, "tdl watch: cannot read the settings file %s\n", parsed.settings.c_str());
      return kExitUsage;
    }
    std::erase(roots, std::string());
  } else {
    roots = parsed.folders;
  }
  platform::HoldEndRequests();  // before the watch's thread starts

  // The watch first, so that the indexing run misses nothing that changes meanwhile.
  ChangeRelay relay;
  index::LiveIndexKeeper keeper;
  platform::FolderWatch watch;
  if (!watch.Start(roots, [&relay](std::vector<platform::FolderChange>& batch) { relay.Receive(batch); })) {
    std::fputs("tdl watch: cannot start watching\n", stderr);
    return kExitUsage;
  }
  std::size_t live = 0;
  for (std::size_t i = 0; i < roots.size(); ++i) {
    if (watch.IsLive(i)) {
      ++live;
    } else {
      std::fprintf(stderr, "tdl watch: cannot watch the folder %s\n", roots[i].c_str());
    }
  }
  if (live == 0) return kExitUsage;

  index::IndexRunPlan plan;
  plan.folders = roots;
  plan.index_file = parsed.db;
  plan.walk_file = platform::FolderOfPath(parsed.db) + index::kWalkFileName;
  plan.reload = false;
  plan.wait_for_other_run = false;
  index::IndexRunObserver quiet;
  index::IndexRunActive.store(1);
  const index::IndexRunResult result = index::RunIndexing(plan, quiet);
  if (result.outcome != index::IndexRunOutcome::kReplaced) {
    std::fprintf(stderr, "tdl watch: the indexing run failed (%s)\n",
                 result.outcome == index::IndexRunOutcome::kOtherRunBusy ? "another run or watch holds the index"
                                                                  : "the index file was not replaced");
    return kExitUsage;
  }
  // From here on this process is the index files' one writer.
  const std::string index_folder = platform::FolderOfPath(parsed.db);
  platform::FolderClaim claim;
  if (!claim.TryClaim(index_folder.empty() ? "." : index_folder)) {
    std::fputs("tdl watch: another run or watch holds the index\n", stderr);
    return kExitUsage;
  }
  if (!keeper.Open(parsed.db)) {
    std::fprintf(stderr, "tdl watch: cannot write the journal beside %s\n", parsed.db.c_str());
    return kExitUsage;
  }
  relay.Begin(keeper, roots);
  std::fprintf(stderr, "tdl watch: %s: %zu of %zu folders live\n", index::IndexRunSuccessText(result.files, result.seconds).c_str(),
               live, roots.size());
  platform::WaitForEndRequest();
  watch.Stop();
  return 0;
}

}  // namespace tandrel::tdl
