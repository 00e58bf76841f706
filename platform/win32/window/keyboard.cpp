// The keyboard of dialog windows, the focus kept across activations, and type-ahead in
// owner-data lists.
#include <string>

#include "platform/type_ahead.h"
#include "platform/win32/win32_ui.h"

namespace tandrel::ui {

// Dialogs are plain windows served by the one loop, so the keys a dialog box manager
// would handle are handled here: Tab and Shift+Tab walk the controls with a tab stop,
// Esc acts as the close box, Return presses the default button.
bool Win32Ui::TranslateDialogKey(const MSG& message) {
  if (message.message != WM_KEYDOWN) return false;
  if (message.wParam != VK_TAB && message.wParam != VK_ESCAPE && message.wParam != VK_RETURN) return false;
  for (const auto& [number, data] : windows_) {
    if (data.style != WindowStyle::kResizableDialog && data.style != WindowStyle::kFixedDialog) continue;
    if (message.hwnd != data.hwnd && !IsChild(data.hwnd, message.hwnd)) continue;
    if (message.wParam == VK_TAB) {
      HWND from = GetFocus();
      if (from != nullptr && !IsChild(data.hwnd, from)) from = nullptr;
      const bool back = GetKeyState(VK_SHIFT) < 0;
      if (HWND next = GetNextDlgTabItem(data.hwnd, from, back)) SetFocus(next);
    } else if (message.wParam == VK_ESCAPE) {
      Queue({EventKind::kClose, number});
    } else {
      const int id = DefaultButton(number);
      HWND button = Control(number, id);
      if (button != nullptr && IsWindowEnabled(button)) {
        Queue({EventKind::kControl, number, id, Action::kLeftClick});
      }
    }
    return true;
  }
  return false;
}

// Without this the window itself would get the focus back on activation (after Alt+Tab,
// a message box or a dialog), and typing would go nowhere.
void Win32Ui::RememberFocus(int window, HWND hwnd) {
  auto found = windows_.find(window);
  if (found == windows_.end()) return;
  HWND focus = GetFocus();
  if (focus != nullptr && IsChild(hwnd, focus)) found->second.focus = focus;
}

bool Win32Ui::RestoreFocus(int window, HWND hwnd) {
  auto found = windows_.find(window);
  if (found == windows_.end()) return false;
  HWND focus = found->second.focus;
  if (focus == nullptr || !IsWindow(focus) || !IsChild(hwnd, focus) || !IsWindowVisible(focus)) return false;
  SetFocus(focus);
  return true;
}

LRESULT Win32Ui::AnswerFindItem(int window, int id, LPARAM lparam, bool wide) const {
  auto found = lists_.find({window, id});
  if (found == lists_.end() || !found->second.rows) return -1;
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
  return FindRowByPrefix(*found->second.rows, typed, start, wrap, TypeAheadFold());
}

}  // namespace tandrel::ui
