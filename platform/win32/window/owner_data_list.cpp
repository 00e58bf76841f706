// Owner-data list views: rows from a RowSource, cells given as the list asks for them,
// and type-ahead answered from the rows.
#include "platform/win32/window/owner_data_list.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "platform/window/type_ahead.h"

namespace tandrel::win32 {

void OwnerDataList::SetRows(std::shared_ptr<const ui::RowSource> rows) {
  rows_ = std::move(rows);
  const std::int32_t count = RowCount();
  LVITEMA none{};
  none.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageA(list_, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
  SendMessageA(list_, LVM_SETITEMCOUNT, count, 0);
  InvalidateRect(list_, nullptr, TRUE);
}

void OwnerDataList::SelectRow(std::int32_t row) {
  LVITEMA item{};
  item.stateMask = LVIS_SELECTED;
  item.state = LVIS_SELECTED;
  SendMessageA(list_, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

std::vector<std::int32_t> OwnerDataList::SelectedRows() const {
  std::vector<std::int32_t> rows;
  const LRESULT count = SendMessageA(list_, LVM_GETSELECTEDCOUNT, 0, 0);
  if (count > 0) rows.reserve(static_cast<std::size_t>(count));
  for (LRESULT row = -1; (row = SendMessageA(list_, LVM_GETNEXTITEM, static_cast<WPARAM>(row), LVNI_SELECTED)) >= 0;) {
    rows.push_back(static_cast<std::int32_t>(row));
  }
  return rows;
}

std::int32_t OwnerDataList::SelectedRow() const {
  return static_cast<std::int32_t>(SendMessageA(list_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void OwnerDataList::SetColumnWidth(int column, int width) {
  SendMessageA(list_, LVM_SETCOLUMNWIDTH, column, width == ui::kFillHeader ? FillWidth(column) : width);
}

// The width that ends `column` at the client area's right edge. The vertical bar that the
// rows will need is counted though it may not show yet (redrawing is off while a search's
// rows arrive), so that no horizontal bar appears beside it.
int OwnerDataList::FillWidth(int column) const {
  RECT client{};
  GetClientRect(list_, &client);
  int width = client.right;
  const bool has_bar = (GetWindowLongPtrA(list_, GWL_STYLE) & WS_VSCROLL) != 0;
  const LRESULT per_page = SendMessageA(list_, LVM_GETCOUNTPERPAGE, 0, 0);
  if (!has_bar && RowCount() > per_page) width -= GetSystemMetrics(SM_CXVSCROLL);
  HWND header = reinterpret_cast<HWND>(SendMessageA(list_, LVM_GETHEADER, 0, 0));
  const int columns = header == nullptr ? 0 : static_cast<int>(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0));
  for (int other = 0; other < columns; ++other) {
    if (other != column) width -= static_cast<int>(SendMessageA(list_, LVM_GETCOLUMNWIDTH, other, 0));
  }
  return std::max(width, kMinimumFillWidth);
}

void OwnerDataList::SetRedraw(bool redraw) {
  SendMessageA(list_, WM_SETREDRAW, redraw, 0);
  if (redraw) InvalidateRect(list_, nullptr, TRUE);
}

void OwnerDataList::SetSortArrow(int column, bool descending) {
  HWND header = reinterpret_cast<HWND>(SendMessageA(list_, LVM_GETHEADER, 0, 0));
  if (header == nullptr) return;
  const int columns = static_cast<int>(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < columns; ++i) {
    HDITEMA item{};
    item.mask = HDI_FORMAT;
    if (!SendMessageA(header, HDM_GETITEMA, i, reinterpret_cast<LPARAM>(&item))) continue;
    item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
    if (i == column) item.fmt |= descending ? HDF_SORTDOWN : HDF_SORTUP;
    SendMessageA(header, HDM_SETITEMA, i, reinterpret_cast<LPARAM>(&item));
  }
}

void OwnerDataList::AnswerDisplayInfo(NMLVDISPINFOA& info, FileIcons& icons) const {
  if (!rows_) return;
  if ((info.item.mask & LVIF_IMAGE) != 0 && info.item.iSubItem == 0) {
    info.item.iImage = icons.IndexFor(rows_->Cell(info.item.iItem, 0), rows_->IsFolder(info.item.iItem));
  }
  if (!(info.item.mask & LVIF_TEXT)) return;
  if (info.item.cchTextMax <= 0 || info.item.pszText == nullptr) return;
  const std::string_view cell = rows_->Cell(info.item.iItem, info.item.iSubItem);
  const std::size_t n = std::min<std::size_t>(cell.size(), static_cast<std::size_t>(info.item.cchTextMax) - 1);
  std::memcpy(info.item.pszText, cell.data(), n);
  info.item.pszText[n] = '\0';
}

bool OwnerDataList::CellCut(int row, int column) const {
  const std::string cell(rows_->Cell(row, column));
  // The list's own margins around a cell's text, as it draws them.
  constexpr int kCellMargins = 12;
  const auto needed = SendMessageA(list_, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(cell.c_str()));
  const auto shown = SendMessageA(list_, LVM_GETCOLUMNWIDTH, column, 0);
  const int icon = column == 0 ? GetSystemMetrics(SM_CXSMICON) : 0;
  return needed + kCellMargins + icon > shown;
}

std::string OwnerDataList::InfoTipText(int row) const {
  if (!rows_ || row < 0 || row >= RowCount()) return {};
  if (!CellCut(row, 0) && !CellCut(row, 1)) return {};
  return std::string(rows_->Cell(row, 0)) + "\r\n" + std::string(rows_->Cell(row, 1));
}

void OwnerDataList::AnswerInfoTip(NMLVGETINFOTIPW& tip) const {
  if (tip.pszText == nullptr || tip.cchTextMax <= 0) return;
  const std::string text = InfoTipText(tip.iItem);
  if (text.empty()) return;
  const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), tip.pszText,
                                    tip.cchTextMax - 1);
  tip.pszText[n > 0 ? n : 0] = L'\0';
}

void OwnerDataList::AnswerInfoTip(NMLVGETINFOTIPA& tip) const {
  if (tip.pszText == nullptr || tip.cchTextMax <= 0) return;
  const std::string text = InfoTipText(tip.iItem);
  if (text.empty()) return;
  const std::size_t n = std::min<std::size_t>(text.size(), static_cast<std::size_t>(tip.cchTextMax) - 1);
  std::memcpy(tip.pszText, text.data(), n);
  tip.pszText[n] = '\0';
}

LRESULT OwnerDataList::AnswerFindItem(LPARAM lparam, bool wide, const std::array<std::uint8_t, 256>& fold) const {
  if (!rows_) return -1;
  std::string typed;
  int start = 0;
  bool wrap = false;
  if (wide) {
    const auto* find = reinterpret_cast<const NMLVFINDITEMW*>(lparam);
    if ((find->lvfi.flags & (LVFI_STRING | LVFI_PARTIAL)) == 0 || find->lvfi.psz == nullptr) return -1;
    const int bytes = WideCharToMultiByte(CP_ACP, 0, find->lvfi.psz, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 1) return -1;
    typed.resize(static_cast<std::size_t>(bytes));
    WideCharToMultiByte(CP_ACP, 0, find->lvfi.psz, -1, typed.data(), bytes, nullptr, nullptr);
    typed.resize(static_cast<std::size_t>(bytes) - 1);
    start = find->iStart;
    wrap = (find->lvfi.flags & LVFI_WRAP) != 0;
  } else {
    const auto* find = reinterpret_cast<const NMLVFINDITEMA*>(lparam);
    if ((find->lvfi.flags & (LVFI_STRING | LVFI_PARTIAL)) == 0 || find->lvfi.psz == nullptr) return -1;
    typed = find->lvfi.psz;
    start = find->iStart;
    wrap = (find->lvfi.flags & LVFI_WRAP) != 0;
  }
  return ui::FindRowByPrefix(*rows_, typed, start, wrap, fold);
}

}  // namespace tandrel::win32
