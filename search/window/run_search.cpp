// The search behind the query field: StartSearch on the main thread, RunSearch on the
// search thread, SearchTicker beside it while the scan runs.
#include <string>

#include "search/window/search_window_internal.h"

namespace tandrel::search_window {
namespace {

constexpr std::uint32_t kTickerPeriodMs = 200;

std::string HitCountText(std::int32_t count) { return "Gefunden: " + std::to_string(count); }

void SearchTicker(ui::StatusPoster& ui, const SearchControls& c, const std::atomic<std::int32_t>& count,
                  const platform::StopToken& stop) {
  // Ending the search ends the wait at once, never half-way through an update.
  platform::StoppableWait period(stop);
  while (period.For(kTickerPeriodMs)) {
    ui.PostStatusText(c.hit_count_field, HitCountText(count.load(std::memory_order_relaxed)));
  }
}

void RunSearch(ui::StatusPoster& ui, const SearchControls c, std::string query, const platform::StopToken& stop) {
  // The version this search scans: the table and the live changes as they stood when it
  // began. A reload or a later change publishes another and leaves this one complete for
  // as long as the hits refer to it.
  index::LiveIndexVersion version = index::CurrentLiveIndex();

  ui.PostProgress(version.LiveCount(), 0);
  ui.PostMenuItemEnabled(c.item_manage_folders, false);
  ui.PostMenuItemEnabled(c.item_update_index, false);
  std::atomic<std::int32_t> hit_count{0};
  SetLastQuery(query);
  PostNoHits(ui, c);
  PrepareSortRank(version.table);

  std::vector<std::int32_t> hits;
  bool complete = false;
  {
    // Without a thread to spare the search goes on, only its count shows at the end.
    platform::Thread ticker;
    (void)ticker.Start([&](const platform::StopToken& ticker_stop) {
      SearchTicker(ui, c, hit_count, ticker_stop);
    });
    ui.PostStatusText(c.state_field, ui::Centred("Suche..."));
    search::ScanOptions options;
    options.filter = search::ChooseKindFilter(FilesOption.load(), FoldersOption.load());
    options.hit_count = &hit_count;
    options.stop = stop;
    complete = search::ScanLiveIndex(version, query, options, hits);
  }  // the ticker is stopped and joined here, before the final count is written
  if (!complete || stop.StopRequested()) return;

  const std::int32_t count = static_cast<std::int32_t>(hits.size());
  ui.PostStatusText(c.hit_count_field, HitCountText(count));
  if (!PostHitsInOrder(ui, c, search::SearchHits(version, std::move(hits)), stop)) return;
  ui.PostProgress(index::CurrentLiveIndex().LiveCount(), 0);
  ui.PostStatusText(c.state_field, ui::Centred("Fertig!"));
  // An indexing run disabled the items itself and enables them when its merge is done.
  if (index::IndexRunActive.load() == 0) {
    ui.PostMenuItemEnabled(c.item_manage_folders, true);
    ui.PostMenuItemEnabled(c.item_update_index, true);
  }
}

}  // namespace

void StartSearch(ui::Ui& ui, const SearchControls& c) {
  const std::string query = ui.Text(c.window, c.query_field);
  const int folders = ui.IsChecked(c.window, c.folders_check_box) ? 1 : 0;
  const int files = ui.IsChecked(c.window, c.files_check_box) ? 1 : 0;
  if (query == LastQuery() && folders == LastSearchRequest.folders_option &&
      files == LastSearchRequest.files_option) {
    ui.PostStatusText(c.state_field, ui::Centred("Selber Suchvorgang!"));
    return;
  }
  // Remembered before the length test, so a refused query still updates them.
  LastSearchRequest.folders_option = folders;
  LastSearchRequest.files_option = files;
  if (!search::QueryLongEnough(query)) {
    ui.PostStatusText(c.state_field, ui::Centred("Mindestens 3 Zeichen"));
    return;
  }
  EndRunningSearch();
  // Without a thread the search does not run, and its query is not remembered: pressing
  // Return again tries once more.
  (void)SearchThread.Start([&ui, c, query](const platform::StopToken& stop) { RunSearch(ui, c, query, stop); });
}

}  // namespace tandrel::search_window
