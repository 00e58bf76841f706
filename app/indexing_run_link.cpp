// The window's side of an indexing run: "Aktualisieren" starts it, and what it shows
// reaches the status bar, the tray icon and the menu through the calls that are safe
// from any thread.
#include "app/handlers.h"
#include "app/indexing_run_testing.h"
#include "app/object_numbers.h"
#include "index/indexing.h"
#include "search/window/search_window.h"
#include "settings/settings.h"

namespace tandrel::app {
namespace {

class WindowRunObserver final : public index::IndexRunObserver {
 public:
  explicit WindowRunObserver(ui::StatusPoster& ui) : ui_(ui) {}

  void ShowProgress(std::string_view text) override {
    ui_.PostStatusText(kProgressField, ui::Centred(text));
  }
  void ShowDone() override { ui_.PostStatusText(kStateField, ui::Centred("Fertig!")); }
  void ShowBusy(bool busy) override { ui_.PostTrayImage(busy ? kTrayBusyIcon : kTrayIdleIcon); }
  void ShowTooltip(std::string_view text) override { ui_.PostTrayTooltip(text); }
  void EnableStartItems(bool enabled) override {
    ui_.PostMenuItemEnabled(kItemManageFolders, enabled);
    ui_.PostMenuItemEnabled(kItemUpdateIndex, enabled);
    ui_.PostMenuItemEnabled(kItemProgramUpdate, enabled);
  }
  bool SearchRunning() override { return search_window::SearchRunning(); }
  void ClearLastQuery() override { search_window::ClearLastQuery(); }

 private:
  ui::StatusPoster& ui_;
};

// The run threads, started by the main thread and never waited for by it. Two, because
// a run's menu items come back before it has reloaded the table: a run started then
// takes the other thread (and waits inside it for the earlier run to finish), so the
// main thread never waits for a thread that is still reloading.
platform::Thread IndexRunThreads[2];
platform::Mutex RunsOfThisProgram;

platform::Thread& IdleRunThread() {
  for (platform::Thread& thread : IndexRunThreads) {
    if (!thread.IsRunning()) return thread;
  }
  return IndexRunThreads[0];
}

}  // namespace

void StartIndexingRun(ui::Ui& ui) {
  // Empty slots from a settings.conf that could not be read are no folder list: a run
  // over them would replace the index with an empty one. The file may have become
  // readable since.
  if (settings::SettingsSession.read_failed && !settings::ReloadSettings()) {
    ui.ShowMessage("Fehler", kSettingsUnreadableText);
    return;
  }
  index::IndexRunPlan plan;
  // Taken over here, on the main thread that owns IndexedFolders.
  plan.folders.assign(settings::IndexedFolders.begin(), settings::IndexedFolders.end());
  index::IndexRunActive.store(1);
  const bool started =
      IdleRunThread().Start([&ui, plan = std::move(plan)](const platform::StopToken& stop) mutable {
        plan.stop = stop;
        // The live index writes db.db too: it ends before the run and starts again over
        // the new index. One run at a time does this, or a live index started after one
        // run could hold the files while the next waits for them.
        platform::LockGuard one_at_a_time(RunsOfThisProgram);
        StopLiveIndex();
        WindowRunObserver observer(ui);
        index::RunIndexing(plan, observer);
        StartLiveIndex(ui, plan.folders);
      });
  // Without a thread there is no run: nothing was disabled, and the flag goes back.
  if (!started) index::IndexRunActive.store(0);
}

void WaitForIndexingRuns() {
  for (platform::Thread& thread : IndexRunThreads) thread.Wait();
  StopLiveIndex();
}

}  // namespace tandrel::app
