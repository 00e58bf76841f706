// The search behind the query field (StartSearch, RunSearch, SearchTicker) with its
// state, the check box rule, and the actions on the hits the result list shows.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "platform/ui.h"
#include "search/search.h"

namespace tandrel {

// The hits of one search as the result list shows them: column 0 the name, column 1 the
// folder.
class SearchHitRows final : public ui::RowSource {
 public:
  explicit SearchHitRows(SearchHits hits) : hits_(std::move(hits)) {}
  std::int32_t RowCount() const override { return hits_.Count(); }
  std::string_view Cell(std::int32_t row, int column) const override {
    return column == 0 ? hits_.Name(row) : hits_.Folder(row);
  }
  const SearchHits& Hits() const { return hits_; }

 private:
  SearchHits hits_;
};

// ---------------------------------------------------------------------------------------
// The search behind the query field

// The window's numbers that the search touches; the shell fills this in once.
struct SearchControls {
  int window = 0;
  int query_field = 0;
  int folders_check_box = 0;
  int files_check_box = 0;
  int result_list = 0;
  int progress_bar = 0;
  int hit_count_field = 0;
  int state_field = 0;
  int item_manage_folders = 0;
  int item_update_index = 0;
};

// Main thread: the same-search and length tests, then ends a running search and
// starts the new one.
void StartSearch(ui::Ui& ui, const SearchControls& controls);
// Main thread, when a check box was clicked: at least one stays checked.
void ApplyFoldersCheckBox(ui::Ui& ui, const SearchControls& controls);
void ApplyFilesCheckBox(ui::Ui& ui, const SearchControls& controls);

// Written by the main thread (check boxes); read by the search thread once per search.
extern std::atomic<int> FoldersOption;
extern std::atomic<int> FilesOption;
// Main thread only: the options StartSearch remembered.
extern int LastFoldersOption;
extern int LastFilesOption;

// True while the most recently started search thread has not ended. Any thread.
bool SearchRunning();
// The query of the last started search; cleared by an indexing run when it ends.
// Any thread.
std::string LastQuery();
void ClearLastQuery();

// Ends a running search and waits for it (the quit sequence and tests use it too).
void EndRunningSearch();

// ---------------------------------------------------------------------------------------
// Actions on the hits: the selected rows of the result list, in list order, read from the
// rows the list shows. All on the main thread, except the copy worker.

// The window's numbers that the actions touch; the shell fills this in once.
struct ResultControls {
  int window = 0;
  int result_list = 0;
  int copy_field = 0;  // "Working... (N)" while copies are pending
  int name_field = 0;  // the name being copied, unless an indexing run owns the field
};

// Opens every hit with the shell (programs in their own folder).
void OpenHits(ui::Ui& ui, const ResultControls& controls);
// The same for the first selected row only (the double click).
void OpenFirstHit(ui::Ui& ui, const ResultControls& controls);
// Opens the folders holding the hits, each with its hits selected; asks first above 10.
void OpenHitFolders(ui::Ui& ui, const ResultControls& controls);
// Asks for a destination folder and queues a copy of every hit into it; starts the copy
// worker when none runs.
void QueueCopies(ui::Ui& ui, const ResultControls& controls);
// Drops every queued copy; the one under way is finished, then the worker ends.
void CancelCopies(ui::Ui& ui, const ResultControls& controls);
// Drags the hits out as a file list, for copying.
void DragHits(ui::Ui& ui, const ResultControls& controls);
// Puts the hits on the clipboard as a file list and as text (Ctrl+C).
void CopyHitsToClipboard(ui::Ui& ui, const ResultControls& controls);

// The copies queued and not yet finished. Any thread.
std::int32_t PendingCopies();
// True while the copy worker runs. Any thread.
bool CopyWorkerRunning();
// Waits until the copy worker has ended (tests, before their window layer goes away).
void WaitForCopyWorker();
// Called on the worker thread just before each copy with the name being copied; tests
// pace the worker with it. Set it only while no worker runs.
void SetCopyGate(std::function<void(const std::string& name)> gate);

}  // namespace tandrel
