// What tests need of the indexing runs the window starts beyond the product's calls.
#pragma once

namespace tandrel::app {

// Waits until every run started by StartIndexingRun has ended, then ends the live index
// they started again (before a test's window layer goes away: both post to it).
void WaitForIndexingRuns();

}  // namespace tandrel::app
