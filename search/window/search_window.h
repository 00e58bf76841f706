// The search behind the query field (StartSearch, RunSearch, SearchTicker) with its
// state, and the check box rule. (The actions on the hits: search/actions/.)
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "platform/window/ui.h"
#include "search/search.h"

namespace tandrel::search_window {

// The hits of one search as the result list shows them: column 0 the name, column 1 the
// folder.
class SearchHitRows final : public ui::RowSource {
 public:
  explicit SearchHitRows(search::SearchHits hits) : hits_(std::move(hits)) {}
  std::int32_t RowCount() const override { return hits_.Count(); }
  std::string_view Cell(std::int32_t row, int column) const override {
    return column == 0 ? hits_.Name(row) : hits_.Folder(row);
  }
  bool IsFolder(std::int32_t row) const override { return hits_.IsFolder(row); }
  const search::SearchHits& Hits() const { return hits_; }

 private:
  search::SearchHits hits_;
};

// ---------------------------------------------------------------------------------------
// The search behind the query field

// The window's numbers that the search touches; the shell fills this in once.
struct SearchControls {
  ui::WindowId window{};
  ui::ControlId query_field{};
  ui::ControlId folders_check_box{};
  ui::ControlId files_check_box{};
  ui::ControlId result_list{};
  ui::ControlId progress_bar{};
  ui::FieldId hit_count_field{};
  ui::FieldId state_field{};
  ui::ItemId item_manage_folders{};
  ui::ItemId item_update_index{};
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
// The options StartSearch remembered from the last search it was asked for; main thread
// only. Reset gives the state of a fresh process.
struct SearchRequestState {
  int folders_option = 0;
  int files_option = 0;

  void Reset() { *this = SearchRequestState{}; }
};
extern SearchRequestState LastSearchRequest;

// True while the most recently started search thread has not ended. Any thread.
bool SearchRunning();
// The query of the last started search; cleared by an indexing run when it ends.
// Any thread.
std::string LastQuery();
void ClearLastQuery();

// Ends a running search and waits for it (the quit sequence and tests use it too).
void EndRunningSearch();

// Main thread, on a click on the result list's header (column 0 the name, 1 the folder):
// the next order for that column, shown by the header's arrow, for the hits listed now
// and those of later searches.
void ClickResultHeader(ui::Ui& ui, const SearchControls& controls, int column);
// The table's order again, as in a fresh process.
void ResetHitOrder();
}  // namespace tandrel::search_window
