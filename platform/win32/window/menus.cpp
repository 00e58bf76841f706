// Menus with icons, the tray icon, keyboard shortcuts and the carried images.
#include "platform/win32/win32_ui.h"

#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace tandrel::ui {
namespace {

constexpr UINT kTrayMessage = WM_APP + 1;
constexpr UINT kTrayId = 0;
constexpr std::size_t kTooltipLimit = 63;  // the tray's tip holds 64 bytes with the NUL

void CopyBounded(char* target, std::size_t capacity, std::string_view text) {
  const std::size_t n = std::min(text.size(), capacity - 1);
  std::memcpy(target, text.data(), n);
  target[n] = '\0';
}

}  // namespace

bool Win32Ui::LoadIconImage(int image, const std::uint8_t* bytes, std::size_t size) {
  if (size < 22) return false;
  auto* data = const_cast<PBYTE>(bytes);
  const int offset = LookupIconIdFromDirectoryEx(data, TRUE, 16, 16, LR_DEFAULTCOLOR);
  if (offset <= 0 || static_cast<std::size_t>(offset) >= size) return false;
  HICON icon = CreateIconFromResourceEx(data + offset, static_cast<DWORD>(size - offset), TRUE, 0x00030000, 16, 16,
                                        LR_DEFAULTCOLOR);
  if (icon == nullptr) return false;
  icons_[image] = win32::OwnedIcon(icon);
  return true;
}

// Menus show 32-bit bitmaps with alpha beside their items; the icon is drawn into one.
HBITMAP Win32Ui::MenuBitmap(int image) {
  auto made = menu_bitmaps_.find(image);
  if (made != menu_bitmaps_.end()) return made->second.get();
  auto icon = icons_.find(image);
  if (icon == icons_.end()) return nullptr;
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), 16, -16, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  win32::OwnedBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  win32::OwnedMemoryDc dc(CreateCompatibleDC(nullptr));
  if (!bitmap || !dc) return nullptr;
  {
    win32::Selected selected(dc.get(), bitmap.get());
    std::memset(bits, 0, 16 * 16 * 4);
    DrawIconEx(dc.get(), 0, 0, icon->second.get(), 16, 16, 0, nullptr, DI_NORMAL);
  }
  HBITMAP result = bitmap.get();
  menu_bitmaps_[image] = std::move(bitmap);
  return result;
}

void Win32Ui::SetMenuBar(int window, const std::vector<MenuTitle>& titles) {
  HWND hwnd = Hwnd(window);
  if (hwnd == nullptr) return;
  HMENU bar = CreateMenu();
  for (const MenuTitle& title : titles) {
    HMENU popup = CreatePopupMenu();
    for (const MenuItem& item : title.items) {
      AppendMenuA(popup, MF_STRING, static_cast<UINT_PTR>(item.id), std::string(item.text).c_str());
      if (HBITMAP bitmap = item.image >= 0 ? MenuBitmap(item.image) : nullptr) {
        MENUITEMINFOA info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_BITMAP;
        info.hbmpItem = bitmap;
        SetMenuItemInfoA(popup, static_cast<UINT>(item.id), FALSE, &info);
      }
    }
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), title.text.c_str());
    menus_.push_back(popup);
  }
  SetMenu(hwnd, bar);  // the window owns the bar and destroys it with itself
  menu_bar_ = bar;
  DrawMenuBar(hwnd);
}

void Win32Ui::DefinePopupMenu(int menu, const std::vector<MenuItem>& items) {
  win32::OwnedMenu popup(CreatePopupMenu());
  if (!popup) return;
  for (const MenuItem& item : items) {
    AppendMenuA(popup.get(), MF_STRING, static_cast<UINT_PTR>(item.id), item.text.c_str());
  }
  // A dialog defines its menus each time it opens; the menu replaced is destroyed.
  auto old = popups_.find(menu);
  if (old != popups_.end()) std::erase(menus_, old->second.get());
  menus_.push_back(popup.get());
  popups_[menu] = std::move(popup);
}

void Win32Ui::ShowPopupMenu(int window, int menu) {
  HWND hwnd = Hwnd(window);
  auto found = popups_.find(menu);
  if (hwnd == nullptr || found == popups_.end()) return;
  POINT at{};
  GetCursorPos(&at);
  // Without the foreground the menu would not close when the user clicks elsewhere.
  SetForegroundWindow(hwnd);
  TrackPopupMenu(found->second.get(), TPM_LEFTALIGN | TPM_RIGHTBUTTON, at.x, at.y, 0, hwnd, nullptr);
  PostMessageA(hwnd, WM_NULL, 0, 0);
}

HMENU Win32Ui::MenuOfItem(int item) const {
  for (HMENU menu : menus_) {
    if (GetMenuState(menu, static_cast<UINT>(item), MF_BYCOMMAND) != static_cast<UINT>(-1)) return menu;
  }
  return nullptr;
}

void Win32Ui::SetMenuItemText(int item, std::string_view text) {
  const std::string copy(text);
  for (HMENU menu : menus_) {
    if (GetMenuState(menu, static_cast<UINT>(item), MF_BYCOMMAND) == static_cast<UINT>(-1)) continue;
    MENUITEMINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_STRING;
    info.dwTypeData = const_cast<char*>(copy.c_str());
    SetMenuItemInfoA(menu, static_cast<UINT>(item), FALSE, &info);
  }
}

void Win32Ui::ApplyMenuItemEnabled(int item, bool enabled) {
  if (HMENU menu = MenuOfItem(item)) {
    EnableMenuItem(menu, static_cast<UINT>(item), MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
  }
}

void Win32Ui::DrawPictureText(Picture& picture, int x, int y, std::uint8_t red, std::uint8_t green,
                              std::uint8_t blue, std::string_view text) {
  if (picture.width <= 0 || picture.height <= 0) return;
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), picture.width, -picture.height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  win32::OwnedBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  win32::OwnedMemoryDc dc(CreateCompatibleDC(nullptr));
  if (!bitmap || !dc) return;
  const std::size_t bytes = std::size_t(picture.width) * picture.height * 4;
  std::memcpy(bits, picture.bgra.data(), std::min(bytes, picture.bgra.size()));
  {
    win32::Selected selected(dc.get(), bitmap.get());
    win32::Selected font(dc.get(), GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc.get(), TRANSPARENT);
    SetTextColor(dc.get(), RGB(red, green, blue));
    TextOutA(dc.get(), x, y, text.data(), static_cast<int>(text.size()));
    GdiFlush();
  }
  std::memcpy(picture.bgra.data(), bits, std::min(bytes, picture.bgra.size()));
  // GDI clears the alpha of the pixels it draws; the picture is opaque.
  for (std::size_t i = 3; i < picture.bgra.size(); i += 4) picture.bgra[i] = 255;
}

bool Win32Ui::AddTrayIcon(int window, int image, std::string_view tooltip) {
  tray_window_ = window;
  tray_image_ = image;
  tray_tooltip_ = std::string(tooltip);
  ReAddTrayIcon();
  return tray_added_;
}

void Win32Ui::ReAddTrayIcon() {
  HWND hwnd = Hwnd(tray_window_);
  if (hwnd == nullptr) return;
  auto icon = icons_.find(tray_image_);
  NOTIFYICONDATAA data{};
  data.cbSize = sizeof data;
  data.hWnd = hwnd;
  data.uID = kTrayId;
  data.uFlags = NIF_ICON | NIF_TIP | NIF_MESSAGE;
  data.uCallbackMessage = kTrayMessage;
  data.hIcon = icon == icons_.end() ? nullptr : icon->second.get();
  CopyBounded(data.szTip, std::min(sizeof data.szTip, kTooltipLimit + 1), tray_tooltip_);
  tray_added_ = Shell_NotifyIconA(NIM_ADD, &data) != 0;
}

void Win32Ui::RemoveTrayIcon() {
  const int window = std::exchange(tray_window_, -1);  // not added again by a restart
  if (!tray_added_) return;
  NOTIFYICONDATAA data{};
  data.cbSize = sizeof data;
  data.hWnd = Hwnd(window);
  data.uID = kTrayId;
  Shell_NotifyIconA(NIM_DELETE, &data);
  tray_added_ = false;
}

void Win32Ui::ApplyTrayImage(int image) {
  tray_image_ = image;
  auto icon = icons_.find(image);
  if (!tray_added_ || icon == icons_.end()) return;
  NOTIFYICONDATAA data{};
  data.cbSize = sizeof data;
  data.hWnd = Hwnd(tray_window_);
  data.uID = kTrayId;
  data.uFlags = NIF_ICON;
  data.hIcon = icon->second.get();
  Shell_NotifyIconA(NIM_MODIFY, &data);
}

void Win32Ui::ApplyTrayTooltip(const std::string& tooltip) {
  tray_tooltip_ = tooltip;
  if (!tray_added_) return;
  NOTIFYICONDATAA data{};
  data.cbSize = sizeof data;
  data.hWnd = Hwnd(tray_window_);
  data.uID = kTrayId;
  data.uFlags = NIF_TIP;
  CopyBounded(data.szTip, std::min(sizeof data.szTip, kTooltipLimit + 1), tooltip);
  Shell_NotifyIconA(NIM_MODIFY, &data);
}

void Win32Ui::AddShortcut(int window, Shortcut key, int event_id) {
  HWND hwnd = Hwnd(window);
  if (hwnd == nullptr) return;
  ACCEL accel{};
  accel.cmd = static_cast<WORD>(event_id);
  if (key == Shortcut::kCtrlA) {
    accel.fVirt = FVIRTKEY | FCONTROL;
    accel.key = 'A';
  } else {
    accel.fVirt = FVIRTKEY;
    accel.key = VK_RETURN;
  }
  accelerators_.push_back(accel);
  accelerator_window_ = hwnd;
  RebuildAccelerators();
}

void Win32Ui::RebuildAccelerators() {
  accelerator_table_ = win32::OwnedAccelerators(
      CreateAcceleratorTableA(accelerators_.data(), static_cast<int>(accelerators_.size())));
}

}  // namespace tandrel::ui
