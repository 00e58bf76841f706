// What tests need of the indexing runs the window starts beyond the product's calls.
#pragma once

namespace tandrel {

// Waits until every run started by StartIndexingRun has ended (before a test's window
// layer goes away).
void WaitForIndexingRuns();

}  // namespace tandrel
