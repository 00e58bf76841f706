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

// Maximises or restores a window as its caption buttons do.
int ShowStateVerb(const Args& args) {
  HWND window = RequireWindow(args);
  if (window == nullptr) return kNotFound;
  if (args[1] != "maximized" && args[1] != "normal") return kUsage;
  PostMessageA(window, WM_SYSCOMMAND, args[1] == "maximized" ? SC_MAXIMIZE : SC_RESTORE, 0);
  return kOk;
}

// The share of pure white pixels on screen where a control lies, in per cent: a stale
// white box over a control raises it above what the control's clean paint shows.
int WhiteShareVerb(const Args& args) {
  HWND window = RequireWindow(args);
  if (window == nullptr) return kNotFound;
  HWND control = RequireControl(window, args, 1);
  if (control == nullptr) return kNotFound;
  RECT rect = {};
  GetWindowRect(control, &rect);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return kNotFound;
  BITMAPINFO info = {};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  long white = 0;
  const auto* pixels = static_cast<const unsigned int*>(bits);
  for (long i = 0; i < static_cast<long>(width) * height; ++i) white += (pixels[i] & 0xFFFFFFu) == 0xFFFFFFu;
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  PrintLine(std::to_string(white * 100 / (static_cast<long>(width) * height)));
  return kOk;
}

// Whether a control shows its horizontal and its vertical scroll bar: "H V", each 0 or 1.
int ScrollBarsVerb(const Args& args) {
  HWND window = RequireWindow(args);
  if (window == nullptr) return kNotFound;
  HWND control = RequireControl(window, args, 1);
  if (control == nullptr) return kNotFound;
  const LONG_PTR style = GetWindowLongPtrA(control, GWL_STYLE);
  PrintLine(std::string((style & WS_HSCROLL) != 0 ? "1" : "0") + " " + ((style & WS_VSCROLL) != 0 ? "1" : "0"));
  return kOk;
}

}  // namespace driver
