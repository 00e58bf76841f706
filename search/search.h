// The search: FoldCase and MatchName, the fast scan of an index table, and the search
// that the query field starts (StartSearch, RunSearch, SearchTicker) with its state.
//
// The scan answers exactly what a plain pass over every entry with MatchName would, in
// table order; it only gets there faster (names folded once, a vectorised substring
// filter, the table split across the cores).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "index/index.h"
#include "platform/ui.h"

namespace tandrel {

// ---------------------------------------------------------------------------------------
// Matching

// Bytes a-z and 0xE0-0xFF lose 0x20; every other byte stays.
// (The byte map is FoldNameByte of the index, which folds the names once per table.)
std::string FoldCase(std::string_view text);

// Both texts already folded. Every space-separated word must occur in the name; within
// a word, the first occurrence of each "*"-separated piece must start at or after the
// first occurrence of the piece before it.
bool MatchName(std::string_view folded_name, std::string_view folded_query);

// The length test: more than 2 bytes besides the asterisks.
bool QueryLongEnough(std::string_view query);

enum class KindFilter { kFilesAndFolders, kFilesOnly, kFoldersOnly };
// The filter the two options choose.
KindFilter ChooseKindFilter(int files_option, int folders_option);

// ---------------------------------------------------------------------------------------
// Scanning

// The hits of one search: indices into the table snapshot that was scanned. Shown by
// the result list as rows (column 0 the name, column 1 the folder).
class SearchHitList final : public ui::RowSource {
 public:
  SearchHitList(std::shared_ptr<const IndexTable> table, std::vector<std::int32_t> hits)
      : table_(std::move(table)), hits_(std::move(hits)) {}
  std::int32_t RowCount() const override { return static_cast<std::int32_t>(hits_.size()); }
  std::string_view Cell(std::int32_t row, int column) const override;
  const IndexTable& Table() const { return *table_; }
  const std::vector<std::int32_t>& Hits() const { return hits_; }

 private:
  std::shared_ptr<const IndexTable> table_;
  std::vector<std::int32_t> hits_;
};

struct ScanOptions {
  KindFilter filter = KindFilter::kFilesAndFolders;
  int threads = 0;                                  // 0: one per core
  std::atomic<std::int32_t>* hit_count = nullptr;   // raised as hits are found
  std::stop_token stop;                             // a stopped scan returns false
};

// Scans every entry of `table` for `query` (as typed, not folded). False when the scan
// was stopped; `hits` is then incomplete.
bool ScanIndex(const IndexTable& table, std::string_view query, const ScanOptions& options,
               std::vector<std::int32_t>& hits);

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
// The hits of the last search that finished (null before the first).
std::shared_ptr<const SearchHitList> LastSearchHits();

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
