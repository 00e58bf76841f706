// The live index while the window is up: the folders of the folder list are watched, and
// db.db, its journal and the version searches read follow the disk. One thread holds it
// all, since a claim belongs to the thread that took it: it takes the index files' claim
// (no indexing run writes meanwhile), loads db.db and its journal, starts the watch, then
// walks each folder once to catch up with what changed while Tandrel did not run, and
// waits for its stop. The catch-up records only differences, and searches go on over the
// last published version while it walks.
#include <string>
#include <vector>

#include "app/handlers.h"
#include "index/index.h"
#include "index/live_keeper.h"
#include "platform/folder_watch.h"
#include "platform/platform.h"

namespace tandrel::app {
namespace {

constexpr char kTrayTooltip[] = "Tandrel";
constexpr std::uint32_t kClaimRetryMs = 1000;

// The tooltip names the folders that do not follow the disk by themselves; they are
// current as of the last catch-up or "Aktualisieren".
std::string NotLiveTooltip(const std::vector<std::string>& folders) {
  if (folders.empty()) return kTrayTooltip;
  std::string text = std::string(kTrayTooltip) + " - ";
  text += folders.size() == 1 ? "Ordner nicht live: " : std::to_string(folders.size()) + " Ordner nicht live: ";
  for (std::size_t i = 0; i < folders.size(); ++i) text += (i == 0 ? "" : ", ") + folders[i];
  return text;  // the tray shortens it to what it can show
}

class LiveKeeping {
 public:
  LiveKeeping(ui::StatusPoster& ui, std::vector<std::string> roots)
      : ui_(ui), roots_(std::move(roots)), listed_(roots_.size(), true) {}

  void Run(const platform::StopToken& stop) {
    platform::FolderClaim claim;
    platform::StoppableWait retry(stop);
    // Another program's run or watch (Vexoran at logon) writes db.db meanwhile; what it
    // leaves is loaded once it is done.
    if (!claim.TryClaim(".")) {
      ui_.PostTrayTooltip(NotLiveTooltip(roots_));
      do {
        if (!retry.For(kClaimRetryMs)) return;
      } while (!claim.TryClaim("."));
    }
    // Before the first "Aktualisieren" there is nothing to keep: the run makes db.db.
    if (!platform::File(index::kIndexFileName, platform::OpenMode::kRead).IsOpen() || !keeper_.Open(index::kIndexFileName)) {
      ui_.PostTrayTooltip(NotLiveTooltip(roots_));
      return;
    }
    index::UseLiveIndexSlot(&keeper_.Slot());
    const bool watching = watch_.Start(roots_, [this](std::vector<platform::FolderChange>& batch) { Apply(batch); });
    for (std::size_t i = 0; i < roots_.size() && !stop.StopRequested(); ++i) {
      platform::LockGuard hold(lock_);
      // A folder that cannot be listed has nothing in the index now, and is not live.
      listed_[i] = keeper_.CatchUp(roots_[i], stop);
    }
    ShowWhatIsLive(watching);
    while (retry.For(60'000)) {
    }
    watch_.Stop();
    index::UseLiveIndexSlot(nullptr);
  }

 private:
  // On the watch's thread.
  void Apply(std::vector<platform::FolderChange>& batch) {
    bool rescanned = false;
    {
      platform::LockGuard hold(lock_);
      keeper_.Apply(batch, roots_);
    }
    for (const platform::FolderChange& change : batch) rescanned = rescanned || change.kind == platform::FolderChange::Kind::kRescan;
    // A folder that went away, or came back, changes what the tooltip says.
    if (rescanned) ShowWhatIsLive(true);
  }

  void ShowWhatIsLive(bool watching) {
    std::vector<std::string> not_live;
    for (std::size_t i = 0; i < roots_.size(); ++i) {
      bool listed = true;
      {
        platform::LockGuard hold(lock_);
        listed = listed_[i];
      }
      if (!watching || !listed || !watch_.IsLive(i)) not_live.push_back(roots_[i]);
    }
    ui_.PostTrayTooltip(NotLiveTooltip(not_live));
  }

  ui::StatusPoster& ui_;
  const std::vector<std::string> roots_;
  platform::Mutex lock_;  // one writer of the keeper at a time: the watch or the catch-up
  index::LiveIndexKeeper keeper_;
  platform::FolderWatch watch_;
  std::vector<bool> listed_;  // by the last catch-up; under `lock_`
};

platform::Thread LiveThread;
// Started and stopped by the main thread and the run threads.
platform::Mutex LiveThreadLock;

}  // namespace

void StartLiveIndex(ui::StatusPoster& ui, std::vector<std::string> folders) {
  std::erase(folders, std::string());
  if (folders.empty()) return;
  platform::LockGuard hold(LiveThreadLock);
  // Without a thread the index is current as of the last run, as before.
  (void)LiveThread.Start([&ui, folders = std::move(folders)](const platform::StopToken& stop) {
    LiveKeeping keeping(ui, folders);
    keeping.Run(stop);
  });
}

void StopLiveIndex() {
  platform::LockGuard hold(LiveThreadLock);
  LiveThread.RequestStop();
  LiveThread.Wait();
}

}  // namespace tandrel::app
