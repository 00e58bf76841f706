#include "verbs.h"

namespace driver {
namespace {

inline constexpr UINT kTrayCallback = WM_APP + 1;

bool ParseId(const std::string& text, WPARAM* id) {
  long long value = 0;
  if (!ParseNumber(text, &value) || value < 0 || value > 0xFFFF) return false;
  *id = static_cast<WPARAM>(value);
  return true;
}

// lParam of a key message: repeat count 1, the scan code, and for key-up the
// previous-state and transition bits.
LPARAM KeyFlags(UINT virtual_key, bool up) {
  const UINT scan = MapVirtualKeyA(virtual_key, MAPVK_VK_TO_VSC);
  LPARAM flags = 1 | static_cast<LPARAM>(scan << 16);
  if (up) flags |= static_cast<LPARAM>(0xC0000000u);
  return flags;
}

void PostKey(HWND target, UINT virtual_key, bool up) {
  PostMessageA(target, up ? WM_KEYUP : WM_KEYDOWN, virtual_key, KeyFlags(virtual_key, up));
}

// The child that a click at this client point of the window lands on, or the window.
HWND ChildAtClientPoint(HWND window, POINT* point) {
  HWND child = ChildWindowFromPointEx(window, *point, CWP_SKIPINVISIBLE | CWP_SKIPTRANSPARENT);
  if (child == nullptr || child == window) return window;
  MapWindowPoints(window, child, point, 1);
  return child;
}

}  // namespace

int CommandVerb(const Args& args) {
  WPARAM id = 0;
  if (!ParseId(args[1], &id)) return kUsage;
  HWND window = RequireWindow(args);
  if (window == nullptr) return kNotFound;
  return PostMessageA(window, WM_COMMAND, id, 0) ? kOk : kNotFound;
}

int KeyVerb(const Args& args) {
  WPARAM key = 0;
  if (!ParseId(args[2], &key) || (args.size() > 3 && args[3] != "ctrl")) return kUsage;
  const bool ctrl = args.size() > 3;
  HWND window = RequireWindow(args);
  HWND target = window != nullptr ? RequireControl(window, args, 1) : nullptr;
  if (target == nullptr) return kNotFound;
  const auto virtual_key = static_cast<UINT>(key);
  if (ctrl) PostKey(target, VK_CONTROL, false);
  PostKey(target, virtual_key, false);
  PostKey(target, virtual_key, true);
  if (ctrl) PostKey(target, VK_CONTROL, true);
  return kOk;
}

// Posted, not sent: a click that opens a modal dialog would otherwise block the driver.
int ClickVerb(const Args& args) {
  HWND window = RequireWindow(args);
  HWND control = window != nullptr ? RequireControl(window, args, 1) : nullptr;
  if (control == nullptr) return kNotFound;
  return PostMessageA(control, BM_CLICK, 0, 0) ? kOk : kNotFound;
}

int RightClickClientVerb(const Args& args) {
  long long x = 0;
  long long y = 0;
  if (!ParseNumber(args[1], &x) || !ParseNumber(args[2], &y)) return kUsage;
  HWND window = RequireWindow(args);
  if (window == nullptr) return kNotFound;
  POINT point = {static_cast<LONG>(x), static_cast<LONG>(y)};
  POINT screen = point;
  ClientToScreen(window, &screen);
  // The cursor goes there too, for handlers that ask where it is rather than the message.
  SetCursorPos(screen.x, screen.y);
  HWND target = ChildAtClientPoint(window, &point);
  const LPARAM where = MAKELPARAM(point.x, point.y);
  PostMessageA(target, WM_RBUTTONDOWN, MK_RBUTTON, where);
  PostMessageA(target, WM_RBUTTONUP, 0, where);
  return kOk;
}

int TrayVerb(const Args& args) {
  long long message = 0;
  if (!ParseNumber(args[1], &message) || message < 0) return kUsage;
  HWND window = RequireWindow(args);
  if (window == nullptr) return kNotFound;
  return PostMessageA(window, kTrayCallback, 0, static_cast<LPARAM>(message)) ? kOk : kNotFound;
}

int CloseVerb(const Args& args) {
  HWND window = RequireWindow(args);
  if (window == nullptr) return kNotFound;
  return PostMessageA(window, WM_CLOSE, 0, 0) ? kOk : kNotFound;
}

}  // namespace driver
