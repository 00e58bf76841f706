// The controls of numbered windows, and the owner-data lists among them. Main thread only.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/window/values.h"

namespace tandrel::ui {

class Controls {
 public:
  // Controls, numbered per window.
  virtual void AddPicture(WindowId window, ControlId id, Rect at, const Picture& picture) = 0;
  virtual void AddTextField(WindowId window, ControlId id, Rect at) = 0;
  virtual void AddButton(WindowId window, ControlId id, Rect at, std::string_view text) = 0;
  virtual void AddCheckBox(WindowId window, ControlId id, Rect at, std::string_view text) = 0;
  virtual void AddProgressBar(WindowId window, ControlId id, Rect at, int maximum) = 0;
  virtual void AddList(WindowId window, ControlId id, Rect at, const std::vector<std::string>& columns,
                       const std::vector<int>& widths, ListSelection selection) = 0;
  // A tree of the file system's drives and folders (no files), sorted by name and filled
  // as the user expands it. Its Text is the selected folder's full path ending in the
  // path separator, empty with nothing selected.
  virtual void AddFolderTree(WindowId window, ControlId id, Rect at) = 0;
  // Lays out the controls `upper_id` and `lower_id` (added before) one above the other
  // inside `at`, split by a bar the user can drag (platform/window/splitter.h), initially
  // halfway. MoveControl on the splitter lays them out again, the bar keeping its share
  // of the height.
  virtual void AddSplitter(WindowId window, ControlId id, Rect at, ControlId upper_id, ControlId lower_id) = 0;
  // Returns the bar's outer height. A negative width takes the rest of the bar.
  virtual int AddStatusBar(WindowId window, const std::vector<int>& field_widths) = 0;
  virtual void MoveControl(WindowId window, ControlId id, Rect at) = 0;
  virtual std::optional<Rect> ControlRect(WindowId window, ControlId id) const = 0;
  virtual void SetFont(WindowId window, ControlId id, const FontSpec& font) = 0;
  virtual void SetChecked(WindowId window, ControlId id, bool checked) = 0;
  virtual bool IsChecked(WindowId window, ControlId id) const = 0;
  virtual std::string Text(WindowId window, ControlId id) const = 0;
  // The keyboard focus; the window gives it back to that control when it is activated
  // again (after a message box, a dialog or a restore).
  virtual void Focus(WindowId window, ControlId id) = 0;
  // The order in which Tab walks the window's controls (Shift+Tab the reverse); controls
  // not named follow in the order they were added.
  virtual void SetTabOrder(WindowId window, const std::vector<ControlId>& order) = 0;

  // Owner-data lists.
  // New rows clear the selection: row numbers of the old rows mean nothing in the new.
  virtual void SetRows(WindowId window, ControlId id, std::shared_ptr<const RowSource> rows) = 0;
  virtual std::int32_t RowCount(WindowId window, ControlId id) const = 0;
  virtual void SelectRow(WindowId window, ControlId id, std::int32_t row) = 0;  // -1: every row
  // The first selected row, -1 when none is.
  virtual std::int32_t SelectedRow(WindowId window, ControlId id) const = 0;
  virtual void SetColumnWidth(WindowId window, ControlId id, int column, int width) = 0;
  virtual void SetListRedraw(WindowId window, ControlId id, bool redraw) = 0;
  // The rows the list shows now (null when it shows none), and its selected rows from
  // the first to the last.
  virtual std::shared_ptr<const RowSource> Rows(WindowId window, ControlId id) const = 0;
  virtual std::vector<std::int32_t> SelectedRows(WindowId window, ControlId id) const = 0;
  // The sort arrow in the header of `column` (up, or down when `descending`), none in the
  // others; -1 shows none at all.
  virtual void SetSortArrow(WindowId window, ControlId id, int column, bool descending) = 0;

  // Type-ahead in lists: a typed text finds the next row whose first column starts with
  // it, both compared byte by byte through this table (the application's case fold).
  void SetTypeAheadFold(const std::array<std::uint8_t, 256>& fold) { type_ahead_fold_ = fold; }

  // The button that Return presses in a dialog window; Esc acts as its close box.
  void SetDefaultButton(WindowId window, ControlId id) { default_buttons_[window] = id; }

 protected:
  ~Controls() = default;

  const std::array<std::uint8_t, 256>& TypeAheadFold() const { return type_ahead_fold_; }
  // The default button of `window`, none when it has none.
  std::optional<ControlId> DefaultButton(WindowId window) const {
    auto found = default_buttons_.find(window);
    if (found == default_buttons_.end()) return std::nullopt;
    return found->second;
  }

 private:
  static std::array<std::uint8_t, 256> IdentityFold() {
    std::array<std::uint8_t, 256> table{};
    for (std::size_t i = 0; i < table.size(); ++i) table[i] = static_cast<std::uint8_t>(i);
    return table;
  }

  std::array<std::uint8_t, 256> type_ahead_fold_ = IdentityFold();
  std::map<WindowId, ControlId> default_buttons_;
};

}  // namespace tandrel::ui
