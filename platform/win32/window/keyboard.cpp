// The keyboard of the program's windows, and the focus kept across activations. (Type-
// ahead in owner-data lists: owner_data_list.cpp.)
#include <string>

#include "platform/win32/window/win32_ui.h"

namespace tandrel::ui {
namespace {

bool HasClass(HWND hwnd, const char* name) {
  char class_name[32] = {};
  GetClassNameA(hwnd, class_name, sizeof class_name - 1);
  return lstrcmpiA(class_name, name) == 0;
}

bool IsPushButton(HWND hwnd) {
  if (hwnd == nullptr || !HasClass(hwnd, "Button")) return false;
  const LONG_PTR type = GetWindowLongPtrA(hwnd, GWL_STYLE) & BS_TYPEMASK;
  return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

// The first list after `from` in the tab order, none when the order holds none.
HWND NextListAfter(HWND parent, HWND from) {
  for (HWND next = GetNextDlgTabItem(parent, from, FALSE); next != nullptr && next != from;
       next = GetNextDlgTabItem(parent, next, FALSE)) {
    if (HasClass(next, WC_LISTVIEWA)) return next;
  }
  return nullptr;
}

// A list entered from the keyboard gets a focused row, so that the arrows, the menu key
// and Ctrl+C act on a hit at once.
void FocusList(HWND list) {
  SetFocus(list);
  if (SendMessageA(list, LVM_GETITEMCOUNT, 0, 0) <= 0) return;
  if (SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED) >= 0) return;
  LVITEMA item{};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  item.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageA(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&item));
}

}  // namespace

void Win32Ui::SetTabOrder(WindowId window, const std::vector<ControlId>& order) {
  // The window system walks the tab stops in the order of the children's z-order.
  HWND previous = HWND_TOP;
  for (ControlId id : order) {
    HWND control = Control(window, id);
    if (control == nullptr) continue;
    SetWindowPos(control, previous, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOREDRAW);
    previous = control;
  }
}

// Every window is a plain window served by the one loop, so the keys a dialog box manager
// would handle are handled here: Tab and Shift+Tab walk the controls with a tab stop, and
// Down leaves a text field for the list after it. In dialog windows Esc acts as the close
// box and Return presses the focused push button, else the default button. (Return in the
// main window is its shortcut.)
bool Win32Ui::TranslateDialogKey(const MSG& message) {
  if (message.message != WM_KEYDOWN) return false;
  const WPARAM key = message.wParam;
  if (key != VK_TAB && key != VK_ESCAPE && key != VK_RETURN && key != VK_DOWN) return false;
  for (const auto& [number, data] : windows_) {
    if (data.style == WindowStyle::kSplash) continue;
    if (message.hwnd != data.hwnd && !IsChild(data.hwnd, message.hwnd)) continue;
    HWND focus = GetFocus();
    if (focus != nullptr && !IsChild(data.hwnd, focus)) focus = nullptr;
    if (key == VK_TAB) {
      const bool back = GetKeyState(VK_SHIFT) < 0;
      if (HWND next = GetNextDlgTabItem(data.hwnd, focus, back)) {
        if (HasClass(next, WC_LISTVIEWA)) {
          FocusList(next);
        } else {
          SetFocus(next);
          if (HasClass(next, "Edit")) SendMessageA(next, EM_SETSEL, 0, -1);
        }
      }
      return true;
    }
    if (key == VK_DOWN) {
      if (focus == nullptr || !HasClass(focus, "Edit")) return false;
      HWND list = NextListAfter(data.hwnd, focus);
      if (list == nullptr) return false;
      FocusList(list);
      return true;
    }
    if (data.style == WindowStyle::kMain) return false;
    if (key == VK_ESCAPE) {
      Queue({EventKind::kClose, number});
    } else if (IsPushButton(focus)) {
      if (IsWindowEnabled(focus)) Queue(ControlEvent(number, ControlId{GetDlgCtrlID(focus)}, Action::kLeftClick));
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
