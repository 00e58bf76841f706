// What the result actions' own files share beyond the public header.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"
#include "search/actions/copy_queue.h"
#include "search/actions/result_actions.h"

namespace tandrel::actions {

// The copies: queued by the main thread, made by the copy worker (copy_worker.cpp).
extern CopyJobQueue CopyQueue;
extern platform::Thread CopyThread;

// A selected row of the result list: its name and its folder (without a separator at
// the end), as the list shows them.
struct Hit {
  std::string name;
  std::string folder;
};
// The selected rows in list order, read from the rows the list shows, without those
// whose full path does not stand for exactly one file; the state field names the last of
// those.
std::vector<Hit> SelectedHits(ui::Ui& ui, const ResultControls& c);

}  // namespace tandrel::actions
