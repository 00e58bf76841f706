// What the search's own files share beyond the public header.
#pragma once

#include "platform/platform.h"
#include "search/window/copy_queue.h"
#include "search/window/search_window.h"

namespace tandrel {

// The most recently started search thread.
extern platform::Thread SearchThread;

// The copies: queued by the main thread, made by the copy worker (copy_worker.cpp).
extern CopyJobQueue CopyQueue;
extern platform::Thread CopyThread;

// A selected row of the result list: its name and its folder (without a separator at
// the end), as the list shows them.
struct Hit {
  std::string name;
  std::string folder;
};
// The selected rows in list order, read from the rows the list shows.
std::vector<Hit> SelectedHits(const ui::Ui& ui, const ResultControls& c);

void SetLastQuery(std::string query);

}  // namespace tandrel
