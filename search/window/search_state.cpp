// Process-wide state of the search. Each value names the threads that touch it.

#include "platform/platform.h"
#include "search/window/search_window_internal.h"

namespace tandrel::search_window {

std::atomic<int> FoldersOption{0};  // main thread writes, search thread reads
std::atomic<int> FilesOption{0};    // main thread writes, search thread reads
SearchRequestState LastSearchRequest;  // main thread only

namespace {

// Written by the search thread when it begins, cleared by an indexing run, read by the
// main thread.
platform::Mutex last_query_lock;
std::string last_query;

}  // namespace

// Started and ended by the main thread only; IsRunning is safe from any thread.
platform::Thread SearchThread;

bool SearchRunning() { return SearchThread.IsRunning(); }

std::string LastQuery() {
  platform::LockGuard hold(last_query_lock);
  return last_query;
}

void SetLastQuery(std::string query) {
  platform::LockGuard hold(last_query_lock);
  last_query = std::move(query);
}

void ClearLastQuery() { SetLastQuery({}); }

void EndRunningSearch() {
  SearchThread.RequestStop();
  SearchThread.Wait();
}

}  // namespace tandrel::search_window
