// What the dialogs of the program under test need besides the common verbs: a window's
// states, choosing a list row and a popup menu item, and dragging with the mouse.
#include "verbs.h"
// After windows.h, which verbs.h brings in: commctrl.h relies on its types.
#include <commctrl.h>

#include <climits>

#include "remote_buffer.h"

namespace driver {
namespace {

std::string Flag(const char* name, bool on) { return std::string(name) + "=" + (on ? "1" : "0") + "\n"; }

void PostKeyTo(HWND target, UINT key) {
  const UINT scan = MapVirtualKeyA(key, MAPVK_VK_TO_VSC);
  PostMessageA(target, WM_KEYDOWN, key, 1 | static_cast<LPARAM>(scan << 16));
  PostMessageA(target, WM_KEYUP, key, 1 | static_cast<LPARAM>(scan << 16) | static_cast<LPARAM>(0xC0000000u));
}

}  // namespace

int WindowStateVerb(const Args& args) {
  HWND window = RequireWindow(args);
  if (window == nullptr) return kNotFound;
  const LONG_PTR style = GetWindowLongPtrA(window, GWL_STYLE);
  const LONG_PTR ex_style = GetWindowLongPtrA(window, GWL_EXSTYLE);
  std::string lines = Flag("enabled", IsWindowEnabled(window) != 0) + Flag("visible", IsWindowVisible(window) != 0) +
                      Flag("topmost", (ex_style & WS_EX_TOPMOST) != 0) +
                      Flag("foreground", GetForegroundWindow() == window) +
                      Flag("sizable", (style & WS_THICKFRAME) != 0) + Flag("sysmenu", (style & WS_SYSMENU) != 0) +
                      Flag("minimizebox", (style & WS_MINIMIZEBOX) != 0) +
                      Flag("maximizebox", (style & WS_MAXIMIZEBOX) != 0);
  lines.pop_back();
  PrintLine(lines);
  return kOk;
}

int ListSelectVerb(const Args& args) {
  long long row = 0;
  if (!ParseNumber(args[2], &row) || row < 0 || row > INT_MAX) return kUsage;
  HWND window = RequireWindow(args);
  HWND list = window != nullptr ? RequireControl(window, args, 1) : nullptr;
  if (list == nullptr) return kNotFound;
  RemoteBuffer remote(list, sizeof(LVITEMA));
  LVITEMA item = {};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  item.state = LVIS_SELECTED | LVIS_FOCUSED;
  LRESULT done = 0;
  if (!remote.Write(0, &item, sizeof item) ||
      !SendWithTimeout(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote.address()),
                       &done) ||
      !done) {
    return kNotFound;
  }
  return kOk;
}

// The row's rectangle (its label part) in the client coordinates of the list's window.
int ListRowRectVerb(const Args& args) {
  long long row = 0;
  if (!ParseNumber(args[2], &row) || row < 0 || row > INT_MAX) return kUsage;
  HWND window = RequireWindow(args);
  HWND list = window != nullptr ? RequireControl(window, args, 1) : nullptr;
  if (list == nullptr) return kNotFound;
  RemoteBuffer remote(list, sizeof(RECT));
  RECT bounds = {};
  bounds.left = LVIR_LABEL;
  LRESULT done = 0;
  if (!remote.Write(0, &bounds, sizeof bounds) ||
      !SendWithTimeout(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote.address()),
                       &done) ||
      !done || !remote.Read(0, &bounds, sizeof bounds)) {
    return kNotFound;
  }
  MapWindowPoints(list, window, reinterpret_cast<POINT*>(&bounds), 2);
  PrintLine(std::to_string(bounds.left) + " " + std::to_string(bounds.top) + " " +
            std::to_string(bounds.right - bounds.left) + " " + std::to_string(bounds.bottom - bounds.top));
  return kOk;
}

// Chooses the item at POSITION (from 0) of the open popup menu with the keyboard, so the
// menu itself sends its command.
int PickPopupVerb(const Args& args) {
  long long position = 0;
  unsigned timeout_ms = 0;
  if (!ParseNumber(args[0], &position) || position < 0 || position > 100 || !ParseTimeout(args, 1, &timeout_ms)) {
    return kUsage;
  }
  HWND popup = nullptr;
  PollUntil(timeout_ms, [&] { return (popup = FindVisibleWindowOfClass("#32768")) != nullptr; });
  if (popup == nullptr) {
    PrintError("no popup menu open");
    return kNotFound;
  }
  for (long long i = 0; i <= position; ++i) PostKeyTo(popup, VK_DOWN);
  PostKeyTo(popup, VK_RETURN);
  return PollUntil(timeout_ms, [] { return FindVisibleWindowOfClass("#32768") == nullptr; }) ? kOk : kNotFound;
}

// Presses the left button at X, Y1 of the window's client area, moves to X, Y2 and lets go.
int DragClientVerb(const Args& args) {
  long long x = 0;
  long long from = 0;
  long long to = 0;
  if (!ParseNumber(args[1], &x) || !ParseNumber(args[2], &from) || !ParseNumber(args[3], &to)) return kUsage;
  HWND window = RequireWindow(args);
  if (window == nullptr) return kNotFound;
  const auto at = [x](long long y) { return MAKELPARAM(static_cast<int>(x), static_cast<int>(y)); };
  PostMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, at(from));
  PostMessageA(window, WM_MOUSEMOVE, MK_LBUTTON, at((from + to) / 2));
  PostMessageA(window, WM_MOUSEMOVE, MK_LBUTTON, at(to));
  PostMessageA(window, WM_LBUTTONUP, 0, at(to));
  return kOk;
}

}  // namespace driver
