// What the search's own files share beyond the public header.
#pragma once

#include "platform/platform.h"
#include "search/window/search_window.h"

namespace tandrel {

// The most recently started search thread.
extern platform::Thread SearchThread;

void SetLastQuery(std::string query);

}  // namespace tandrel
