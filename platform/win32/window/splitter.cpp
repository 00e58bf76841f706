// Splitters: no window of their own. The two panes are children of the splitter's window,
// and the bar between them is a strip of that window's client area, dragged with the
// mouse captured.
#include "platform/win32/window/win32_ui.h"

namespace tandrel::ui {
namespace {

bool Contains(const Rect& r, POINT at) {
  return at.x >= r.x && at.x < r.x + r.width && at.y >= r.y && at.y < r.y + r.height;
}

POINT PointOf(LPARAM lparam) { return {static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))}; }

}  // namespace

void Win32Ui::AddSplitter(WindowId window, ControlId id, Rect at, ControlId upper_id, ControlId lower_id) {
  if (Hwnd(window) == nullptr) return;
  // Kept in the window's pixels, where the pointer drags its bar.
  const Splitter& splitter = splitters_[{window, id}] = Splitter(ToPixels(window, at), upper_id, lower_id);
  LayOutSplitter(window, splitter);
}

void Win32Ui::LayOutSplitter(WindowId window, const Splitter& splitter) {
  const SplitPanes panes = splitter.Panes();
  // Moved with repainting, so the strip they uncover is erased as the bar.
  if (HWND upper = Control(window, splitter.UpperId())) {
    MoveWindow(upper, panes.upper.x, panes.upper.y, panes.upper.width, panes.upper.height, TRUE);
  }
  if (HWND lower = Control(window, splitter.LowerId())) {
    MoveWindow(lower, panes.lower.x, panes.lower.y, panes.lower.width, panes.lower.height, TRUE);
  }
}

// True when the message was a splitter's: the pointer over a bar, or a drag of one.
bool Win32Ui::HandleSplitterMouse(WindowId window, HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_SETCURSOR: {
      if (reinterpret_cast<HWND>(wparam) != hwnd || LOWORD(lparam) != HTCLIENT) return false;
      POINT at{};
      GetCursorPos(&at);
      ScreenToClient(hwnd, &at);
      for (const auto& [key, splitter] : splitters_) {
        if (key.first == window && Contains(splitter.Panes().bar, at)) {
          SetCursor(LoadCursorA(nullptr, IDC_SIZENS));
          return true;
        }
      }
      return false;
    }
    case WM_LBUTTONDOWN: {
      const POINT at = PointOf(lparam);
      for (const auto& [key, splitter] : splitters_) {
        const Rect bar = splitter.Panes().bar;
        if (key.first != window || !Contains(bar, at)) continue;
        bar_drag_ = {window, key.second, at.y - bar.y};
        SetCapture(hwnd);
        return true;
      }
      return false;
    }
    case WM_MOUSEMOVE: {
      auto dragged = splitters_.find({bar_drag_.window, bar_drag_.id});
      if (bar_drag_.window != window || dragged == splitters_.end()) return false;
      dragged->second.DragBarTo(PointOf(lparam).y - bar_drag_.grab);
      LayOutSplitter(window, dragged->second);
      return true;
    }
    case WM_LBUTTONUP:
      if (bar_drag_.window != window) return false;
      ReleaseCapture();  // ends the drag through WM_CAPTURECHANGED
      return true;
    case WM_CAPTURECHANGED:
      if (bar_drag_.window != window) return false;
      bar_drag_ = BarDrag{};
      return true;
    default: return false;
  }
}

}  // namespace tandrel::ui
