#include <cstdio>

#include "verbs.h"

namespace driver {
namespace {

std::string Numbers(long a, long b) {
  char text[64] = {};
  std::snprintf(text, sizeof text, "%ld %ld", a, b);
  return text;
}

std::string RectText(const RECT& rect) {
  return Numbers(rect.left, rect.top) + " " +
         Numbers(rect.right - rect.left, rect.bottom - rect.top);
}

// A child's rectangle in its parent's client coordinates.
RECT RectInParent(HWND parent, HWND child) {
  RECT rect = {};
  GetWindowRect(child, &rect);
  MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

}  // namespace

// wait-window TITLE [TIMEOUT_MS]: prints the window's handle and, on a second line, its
// rectangle as it was found, for a window that may be gone by the next driver start.
int WaitWindowVerb(const Args& args) {
  unsigned timeout_ms = 0;
  if (!ParseTimeout(args, 1, &timeout_ms)) return kUsage;
  HWND window = WaitTopWindow(args[0], timeout_ms);
  if (window == nullptr) return kNotFound;
  RECT rect = {};
  GetWindowRect(window, &rect);
  char text[32] = {};
  std::snprintf(text, sizeof text, "0x%llx",
                static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)));
  PrintLine(text);
  PrintLine(RectText(rect));
  return kOk;
}

int WaitGoneVerb(const Args& args) {
  unsigned timeout_ms = 0;
  if (!ParseTimeout(args, 1, &timeout_ms)) return kUsage;
  return WaitTopWindowGone(args[0], timeout_ms) ? kOk : kNotFound;
}

int WindowRectVerb(const Args& args) {
  HWND window = RequireWindow(args);
  if (window == nullptr) return kNotFound;
  RECT rect = {};
  GetWindowRect(window, &rect);
  PrintLine(RectText(rect));
  return kOk;
}

int ClientSizeVerb(const Args& args) {
  HWND window = RequireWindow(args);
  if (window == nullptr) return kNotFound;
  RECT rect = {};
  GetClientRect(window, &rect);
  PrintLine(Numbers(rect.right, rect.bottom));
  return kOk;
}

int ControlRectVerb(const Args& args) {
  HWND window = RequireWindow(args);
  HWND control = window != nullptr ? RequireControl(window, args, 1) : nullptr;
  if (control == nullptr) return kNotFound;
  PrintLine(RectText(RectInParent(window, control)));
  return kOk;
}

int StatusBarRectVerb(const Args& args) {
  HWND window = RequireWindow(args);
  if (window == nullptr) return kNotFound;
  HWND bar = FindWindowExA(window, nullptr, "msctls_statusbar32", nullptr);
  if (bar == nullptr) {
    PrintError("the window has no status bar");
    return kNotFound;
  }
  PrintLine(RectText(RectInParent(window, bar)));
  return kOk;
}

// The menu bar's height is what lies between the frame plus caption and the client area;
// GetMenuBarInfo cannot tell, it reads the menu and so fails across processes under Wine.
int MenuBarHeightVerb(const Args& args) {
  HWND window = RequireWindow(args);
  if (window == nullptr) return kNotFound;
  RECT frame = {0, 0, 0, 0};
  const auto style = static_cast<DWORD>(GetWindowLongPtrA(window, GWL_STYLE));
  const auto ex_style = static_cast<DWORD>(GetWindowLongPtrA(window, GWL_EXSTYLE));
  AdjustWindowRectEx(&frame, style, FALSE, ex_style);
  RECT outer = {};
  GetWindowRect(window, &outer);
  POINT client_origin = {0, 0};
  ClientToScreen(window, &client_origin);
  PrintLine(std::to_string(client_origin.y - outer.top + frame.top));
  return kOk;
}

int MoveVerb(const Args& args) {
  long long box[4] = {};
  for (int i = 0; i < 4; ++i) {
    if (!ParseNumber(args[static_cast<std::size_t>(i) + 1], &box[i])) return kUsage;
  }
  HWND window = RequireWindow(args);
  if (window == nullptr) return kNotFound;
  const bool moved = MoveWindow(window, static_cast<int>(box[0]), static_cast<int>(box[1]),
                                static_cast<int>(box[2]), static_cast<int>(box[3]), TRUE);
  return moved ? kOk : kNotFound;
}

int IsVisibleVerb(const Args& args) {
  HWND window = RequireWindow(args);
  if (window == nullptr) return kNotFound;
  PrintLine(IsWindowVisible(window) ? "1" : "0");
  return kOk;
}

}  // namespace driver
