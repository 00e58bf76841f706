// The keyboard of dialog windows, and the focus kept across activations. (Type-ahead in
// owner-data lists: owner_data_list.cpp.)
#include <string>

#include "platform/win32/window/win32_ui.h"

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
      const std::optional<ControlId> id = DefaultButton(number);
      HWND button = id ? Control(number, *id) : nullptr;
      if (button != nullptr && IsWindowEnabled(button)) {
        Queue(ControlEvent(number, *id, Action::kLeftClick));
      }
    }
    return true;
  }
  return false;
}

// Without this the window itself would get the focus back on activation (after Alt+Tab,
// a message box or a dialog), and typing would go nowhere.
void Win32Ui::RememberFocus(WindowId window, HWND hwnd) {
  auto found = windows_.find(window);
  if (found == windows_.end()) return;
  HWND focus = GetFocus();
  if (focus != nullptr && IsChild(hwnd, focus)) found->second.focus = focus;
}

bool Win32Ui::RestoreFocus(WindowId window, HWND hwnd) {
  auto found = windows_.find(window);
  if (found == windows_.end()) return false;
  HWND focus = found->second.focus;
  if (focus == nullptr || !IsWindow(focus) || !IsChild(hwnd, focus) || !IsWindowVisible(focus)) return false;
  SetFocus(focus);
  return true;
}

}  // namespace tandrel::ui
