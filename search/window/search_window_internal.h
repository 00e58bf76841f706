// What the search's own files share beyond the public header.
#pragma once

#include "platform/platform.h"
#include "search/window/search_window.h"

namespace tandrel::search_window {

// The most recently started search thread.
extern platform::Thread SearchThread;

void SetLastQuery(std::string query);

// Search threads: starts building the rank of `table` unless it was started before.
void PrepareSortRank(const std::shared_ptr<const index::IndexTable>& table);
// Search threads: empties the list; then lists a search's hits (in table order) in the
// order chosen at the header, waiting for the rank if it must. False when `stop` came first.
void PostNoHits(ui::StatusPoster& ui, const SearchControls& c);
[[nodiscard]] bool PostHitsInOrder(ui::StatusPoster& ui, const SearchControls& c, search::SearchHits hits,
                                   const platform::StopToken& stop);

}  // namespace tandrel::search_window
