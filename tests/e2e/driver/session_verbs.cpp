// The program as the rest of the system sees it: its tray icon, the keyboard focus, the
// end of the session, Explorer's restart and real key presses.
#include "verbs.h"
// After windows.h: it relies on its types.
#include <commctrl.h>
#include <shellapi.h>

namespace driver {
namespace {

constexpr UINT kTrayId = 0;

bool ParseHandle(const std::string& text, HWND* window) {
  long long value = 0;
  if (!ParseNumber(text, &value) || value <= 0) return false;
  *window = reinterpret_cast<HWND>(static_cast<INT_PTR>(value));
  return true;
}

NOTIFYICONDATAA IconOf(HWND owner) {
  NOTIFYICONDATAA data{};
  data.cbSize = sizeof data;
  data.hWnd = owner;
  data.uID = kTrayId;
  return data;
}

void KeyInput(WORD key, bool up, INPUT* input) {
  *input = INPUT{};
  input->type = INPUT_KEYBOARD;
  input->ki.wVk = key;
  input->ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
}

}  // namespace

int WindowHandleVerb(const Args& args) {
  HWND window = RequireWindow(args);
  if (window == nullptr) return kNotFound;
  PrintLine(std::to_string(reinterpret_cast<INT_PTR>(window)));
  return kOk;
}

// The tray keeps an icon by its owner window and number; changing nothing in it answers
// whether it is there, also after the owner is gone.
int TrayPresentVerb(const Args& args) {
  HWND owner = nullptr;
  if (!ParseHandle(args[0], &owner)) return kUsage;
  NOTIFYICONDATAA data = IconOf(owner);
  PrintLine(Shell_NotifyIconA(NIM_MODIFY, &data) ? "1" : "0");
  return kOk;
}

// What a restart of Explorer does to the program's icon.
int TrayDropVerb(const Args& args) {
  HWND owner = nullptr;
  if (!ParseHandle(args[0], &owner)) return kUsage;
  NOTIFYICONDATAA data = IconOf(owner);
  return Shell_NotifyIconA(NIM_DELETE, &data) ? kOk : kNotFound;
}

int TaskbarCreatedVerb(const Args&) {
  const UINT message = RegisterWindowMessageA("TaskbarCreated");
  return message != 0 && PostMessageA(HWND_BROADCAST, message, 0, 0) ? kOk : kNotFound;
}

// Asks as a logoff does, prints the answer, and ends the session when it was yes. The
// program may end while it handles the second message, so that one has no answer.
int EndSessionVerb(const Args& args) {
  HWND window = RequireWindow(args);
  if (window == nullptr) return kNotFound;
  LRESULT agreed = 0;
  if (!SendWithTimeout(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, &agreed)) return kNotFound;
  PrintLine(agreed != 0 ? "1" : "0");
  if (agreed == 0) return kOk;
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                      &ignored);
  return kOk;
}

// The number of the control with the keyboard focus in the window's thread: 0 for the
// window itself, -1 for none or a window elsewhere.
int FocusVerb(const Args& args) {
  HWND window = RequireWindow(args);
  if (window == nullptr) return kNotFound;
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return kNotFound;
  int id = -1;
  if (info.hwndFocus == window) {
    id = 0;
  } else if (info.hwndFocus != nullptr && IsChild(window, info.hwndFocus)) {
    id = GetDlgCtrlID(info.hwndFocus);
  }
  PrintLine(std::to_string(id));
  return kOk;
}

// A real key press, as the keyboard makes it, for whichever window has the focus.
int PressVerb(const Args& args) {
  long long key = 0;
  if (!ParseNumber(args[0], &key) || key <= 0 || key > 0xFE) return kUsage;
  if (args.size() > 1 && args[1] != "shift") return kUsage;
  const bool shift = args.size() > 1;
  INPUT inputs[4];
  UINT count = 0;
  if (shift) KeyInput(VK_SHIFT, false, &inputs[count++]);
  KeyInput(static_cast<WORD>(key), false, &inputs[count++]);
  KeyInput(static_cast<WORD>(key), true, &inputs[count++]);
  if (shift) KeyInput(VK_SHIFT, true, &inputs[count++]);
  return SendInput(count, inputs, sizeof(INPUT)) == count ? kOk : kNotFound;
}

// The system's message font made for the DPI of `window`, as the program makes it for
// controls without a font of their own: the ANSI metrics are the system DPI's.
static HFONT MessageFontFor(HWND window) {
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = sizeof metrics;
  if (!SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) return nullptr;
  LOGFONTA font = metrics.lfMessageFont;
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  const auto get_dpi = reinterpret_cast<GetDpiForWindowFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
  HDC screen = GetDC(nullptr);
  const int system_dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  const int dpi = get_dpi != nullptr ? static_cast<int>(get_dpi(window)) : system_dpi;
  if (dpi > 0 && system_dpi > 0) font.lfHeight = MulDiv(font.lfHeight, dpi, system_dpi);
  return CreateFontIndirectA(&font);
}

// The width a check box needs to show its label whole: the box and the label's extent
// in the message font that the program's controls use.
int LabelNeedsVerb(const Args& args) {
  HWND window = RequireWindow(args);
  HWND control = window != nullptr ? RequireControl(window, args, 1) : nullptr;
  if (control == nullptr) return kNotFound;
  const std::string text = WindowText(control);
  HFONT font = MessageFontFor(window);
  if (font == nullptr) return kNotFound;
  HDC dc = GetDC(nullptr);
  HGDIOBJ previous = SelectObject(dc, font);
  SIZE extent{};
  GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &extent);
  SelectObject(dc, previous);
  ReleaseDC(nullptr, dc);
  DeleteObject(font);
  PrintLine(std::to_string(GetSystemMetrics(SM_CXMENUCHECK) + extent.cx));
  return kOk;
}

// Waits until a popup menu shows, without reading its items.
int PopupOpenVerb(const Args& args) {
  unsigned timeout_ms = 0;
  if (!ParseTimeout(args, 0, &timeout_ms)) return kUsage;
  return PollUntil(timeout_ms, [] { return FindVisibleWindowOfClass("#32768") != nullptr; }) ? kOk : kNotFound;
}

// A typed character, as the keyboard layer hands it to a control.
int CharVerb(const Args& args) {
  long long code = 0;
  if (!ParseNumber(args[2], &code) || code <= 0 || code > 0xFF) return kUsage;
  HWND window = RequireWindow(args);
  HWND control = window != nullptr ? RequireControl(window, args, 1) : nullptr;
  if (control == nullptr) return kNotFound;
  return PostMessageA(control, WM_CHAR, static_cast<WPARAM>(code), 1) ? kOk : kNotFound;
}

// The list's focused row, -1 for none.
int ListFocusedVerb(const Args& args) {
  HWND window = RequireWindow(args);
  HWND list = window != nullptr ? RequireControl(window, args, 1) : nullptr;
  if (list == nullptr) return kNotFound;
  LRESULT row = -1;
  if (!SendWithTimeout(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED, &row)) return kNotFound;
  PrintLine(std::to_string(static_cast<int>(row)));
  return kOk;
}

}  // namespace driver
