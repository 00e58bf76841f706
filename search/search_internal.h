// What the search's own files share beyond the public header.
#pragma once

#include "platform/platform.h"
#include "search/search.h"

namespace tandrel {

// The most recently started search thread.
extern platform::Thread SearchThread;

void SetLastQuery(std::string query);
void SetLastSearchHits(std::shared_ptr<const SearchHitList> hits);

}  // namespace tandrel
