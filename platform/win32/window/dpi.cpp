// Layout at every DPI: the program's numbers are pixels at 96 DPI, scaled here to the DPI
// of the monitor each window is on, and fonts made for that DPI.
#include <algorithm>

#include "platform/win32/window/win32_ui.h"

namespace tandrel::ui {
namespace {

// Newer systems only (Windows 10, 1607 on): looked up, so that older ones fall back to
// the system's one DPI.
template <class Function>
Function UserFunction(const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), name)));
}

int SystemDpi() {
  win32::WindowDc screen;
  const int dpi = screen.get() != nullptr ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
  return dpi > 0 ? dpi : 96;
}

int WindowDpi(HWND hwnd) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto get_dpi = UserFunction<GetDpiForWindowFn>("GetDpiForWindow");
  const int dpi = get_dpi != nullptr ? static_cast<int>(get_dpi(hwnd)) : 0;
  return dpi > 0 ? dpi : SystemDpi();
}

// The ANSI metrics are the system DPI's; scaled to `dpi`. (SystemParametersInfoForDpi
// has no ANSI form: it would write the wide structure into the narrow one.)
LOGFONTA MessageLogFont(int dpi) {
  NONCLIENTMETRICSA metrics{};
  metrics.cbSize = sizeof metrics;
  LOGFONTA font{};
  if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    font = metrics.lfMessageFont;
  } else {
    GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
  }
  font.lfHeight = MulDiv(font.lfHeight, dpi, SystemDpi());
  return font;
}

}  // namespace

int Win32Ui::Dpi(WindowId window) const {
  auto found = windows_.find(window);
  return found == windows_.end() ? kLayoutDpi : found->second.dpi;
}

Rect Win32Ui::ToPixels(WindowId window, Rect at) const {
  return {ToPixels(window, at.x), ToPixels(window, at.y), ToPixels(window, at.width), ToPixels(window, at.height)};
}

Rect Win32Ui::FromPixels(WindowId window, Rect at) const {
  return {FromPixels(window, at.x), FromPixels(window, at.y), FromPixels(window, at.width),
          FromPixels(window, at.height)};
}

HFONT Win32Ui::MessageFont(int dpi) {
  auto& owned = message_fonts_[dpi];
  if (!owned) {
    const LOGFONTA font = MessageLogFont(dpi);
    owned = win32::OwnedFont(CreateFontIndirectA(&font));
  }
  return owned ? owned.get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

HFONT Win32Ui::FontFor(const FontSpec& font, int dpi) {
  auto& owned = fonts_[{font.face, font.points, dpi}];
  if (!owned) {
    owned = win32::OwnedFont(CreateFontA(-MulDiv(font.points, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                         DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                         DEFAULT_PITCH | FF_DONTCARE, font.face.c_str()));
  }
  return owned.get();
}

void Win32Ui::SetStatusFields(const WindowData& data) {
  if (data.status_bar == nullptr) return;
  std::vector<int> edges;
  int right = 0;
  for (int width : data.status_fields) {
    right = width < 0 ? -1 : right + MulDiv(width, data.dpi, kLayoutDpi);  // a negative width takes the rest
    edges.push_back(right);
  }
  SendMessageA(data.status_bar, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
}

void Win32Ui::ApplyDpi(WindowId window, int dpi) {
  auto found = windows_.find(window);
  if (found == windows_.end() || found->second.style == WindowStyle::kSplash) return;
  WindowData& data = found->second;
  data.dpi = dpi;
  for (const auto& [key, control] : controls_) {
    if (key.first != window) continue;
    auto own = control_fonts_.find(key);
    HFONT font = own != control_fonts_.end() ? FontFor(own->second, dpi) : MessageFont(dpi);
    if (font != nullptr) SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  }
  if (data.status_bar != nullptr) {
    SendMessageA(data.status_bar, WM_SETFONT, reinterpret_cast<WPARAM>(MessageFont(dpi)), TRUE);
    SetStatusFields(data);
  }
}

// Opened windows take their monitor's DPI; a splash picture keeps its pixels.
int Win32Ui::InitialDpi(HWND hwnd, WindowStyle style) {
  return style == WindowStyle::kSplash ? kLayoutDpi : WindowDpi(hwnd);
}

int Win32Ui::ScreenDpi() { return SystemDpi(); }

}  // namespace tandrel::ui
