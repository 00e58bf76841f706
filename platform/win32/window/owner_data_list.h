// A list view in owner-data mode over a RowSource: the list asks for the cells of the rows
// it shows, and for the row a typed text selects.
#pragma once

#include <windows.h>
// After windows.h: it relies on its types.
#include <commctrl.h>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/win32/window/file_icons.h"
#include "platform/window/values.h"

namespace tandrel::win32 {

class OwnerDataList {
 public:
  explicit OwnerDataList(HWND list) : list_(list) {}

  // New rows clear the selection: row numbers of the old rows mean nothing in the new.
  void SetRows(std::shared_ptr<const ui::RowSource> rows);
  const std::shared_ptr<const ui::RowSource>& Rows() const { return rows_; }
  std::int32_t RowCount() const { return rows_ ? rows_->RowCount() : 0; }
  void SelectRow(std::int32_t row);  // -1: every row
  std::int32_t SelectedRow() const;
  std::vector<std::int32_t> SelectedRows() const;
  void SetColumnWidth(int column, int width);
  void SetRedraw(bool redraw);
  void SetSortArrow(int column, bool descending);  // column -1: none

  // Fills the list's request for the text of one cell and the icon of a row.
  void AnswerDisplayInfo(NMLVDISPINFOA& info, FileIcons& icons) const;
  // The tip for a row whose name or folder the list shows cut off: both whole, one a line.
  void AnswerInfoTip(NMLVGETINFOTIPA& tip) const;
  void AnswerInfoTip(NMLVGETINFOTIPW& tip) const;  // the same converted, for a list that asks so
  // The row that a typed text selects (LVN_ODFINDITEMA, or its wide form), compared
  // through `fold`; -1 for none.
  LRESULT AnswerFindItem(LPARAM lparam, bool wide, const std::array<std::uint8_t, 256>& fold) const;

 private:
  static constexpr int kMinimumFillWidth = 40;
  bool CellCut(int row, int column) const;
  // The tip's text for `row`, empty when nothing of it is cut off.
  std::string InfoTipText(int row) const;
  int FillWidth(int column) const;

  HWND list_;
  std::shared_ptr<const ui::RowSource> rows_;
};

}  // namespace tandrel::win32
