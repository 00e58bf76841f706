// The menu bar, the popup menus with the icons beside their items, and the keyboard
// shortcuts.
#include "platform/win32/window/menu_table.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

namespace tandrel::win32 {

// Menus show 32-bit bitmaps with alpha beside their items; the icon is drawn into one.
HBITMAP MenuTable::MenuBitmap(ui::ImageId image) {
  auto made = menu_bitmaps_.find(image);
  if (made != menu_bitmaps_.end()) return made->second.get();
  auto icon = icons_.find(image);
  if (icon == icons_.end()) return nullptr;
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), 16, -16, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  OwnedBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  OwnedMemoryDc dc(CreateCompatibleDC(nullptr));
  if (!bitmap || !dc) return nullptr;
  {
    Selected selected(dc.get(), bitmap.get());
    std::memset(bits, 0, 16 * 16 * 4);
    DrawIconEx(dc.get(), 0, 0, icon->second.get(), 16, 16, 0, nullptr, DI_NORMAL);
  }
  HBITMAP result = bitmap.get();
  menu_bitmaps_[image] = std::move(bitmap);
  return result;
}

void MenuTable::SetMenuBar(HWND hwnd, const std::vector<ui::MenuTitle>& titles) {
  HMENU bar = CreateMenu();
  for (const ui::MenuTitle& title : titles) {
    HMENU popup = CreatePopupMenu();
    for (const ui::MenuItem& item : title.items) {
      AppendMenuA(popup, MF_STRING, static_cast<UINT_PTR>(ui::NumberOf(item.id)), std::string(item.text).c_str());
      if (HBITMAP bitmap = item.image != ui::kNoImage ? MenuBitmap(item.image) : nullptr) {
        MENUITEMINFOA info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_BITMAP;
        info.hbmpItem = bitmap;
        SetMenuItemInfoA(popup, static_cast<UINT>(ui::NumberOf(item.id)), FALSE, &info);
      }
    }
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), title.text.c_str());
    menus_.push_back(popup);
  }
  SetMenu(hwnd, bar);  // the window owns the bar and destroys it with itself
  menu_bar_ = bar;
  DrawMenuBar(hwnd);
}

void MenuTable::DefinePopupMenu(ui::MenuId menu, const std::vector<ui::MenuItem>& items) {
  OwnedMenu popup(CreatePopupMenu());
  if (!popup) return;
  for (const ui::MenuItem& item : items) {
    AppendMenuA(popup.get(), MF_STRING, static_cast<UINT_PTR>(ui::NumberOf(item.id)), item.text.c_str());
  }
  // A dialog defines its menus each time it opens; the menu replaced is destroyed.
  auto old = popups_.find(menu);
  if (old != popups_.end()) std::erase(menus_, old->second.get());
  menus_.push_back(popup.get());
  popups_[menu] = std::move(popup);
}

void MenuTable::ShowPopupMenu(HWND hwnd, ui::MenuId menu) {
  auto found = popups_.find(menu);
  if (hwnd == nullptr || found == popups_.end()) return;
  POINT at{};
  GetCursorPos(&at);
  // Without the foreground the menu would not close when the user clicks elsewhere.
  SetForegroundWindow(hwnd);
  TrackPopupMenu(found->second.get(), TPM_LEFTALIGN | TPM_RIGHTBUTTON, at.x, at.y, 0, hwnd, nullptr);
  PostMessageA(hwnd, WM_NULL, 0, 0);
}

HMENU MenuTable::MenuOfItem(ui::ItemId item) const {
  for (HMENU menu : menus_) {
    if (GetMenuState(menu, static_cast<UINT>(ui::NumberOf(item)), MF_BYCOMMAND) != static_cast<UINT>(-1)) return menu;
  }
  return nullptr;
}

void MenuTable::SetItemText(ui::ItemId item, std::string_view text) {
  const std::string copy(text);
  for (HMENU menu : menus_) {
    if (GetMenuState(menu, static_cast<UINT>(ui::NumberOf(item)), MF_BYCOMMAND) == static_cast<UINT>(-1)) continue;
    MENUITEMINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_STRING;
    info.dwTypeData = const_cast<char*>(copy.c_str());
    SetMenuItemInfoA(menu, static_cast<UINT>(ui::NumberOf(item)), FALSE, &info);
  }
}

void MenuTable::EnableItem(ui::ItemId item, bool enabled) {
  if (HMENU menu = MenuOfItem(item)) {
    EnableMenuItem(menu, static_cast<UINT>(ui::NumberOf(item)), MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
  }
}

void MenuTable::AddShortcut(HWND hwnd, ui::Shortcut key, ui::ItemId event_id) {
  ACCEL accel{};
  accel.cmd = static_cast<WORD>(ui::NumberOf(event_id));
  if (key == ui::Shortcut::kCtrlA) {
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

void MenuTable::RebuildAccelerators() {
  accelerator_table_ = OwnedAccelerators(
      CreateAcceleratorTableA(accelerators_.data(), static_cast<int>(accelerators_.size())));
}

bool MenuTable::TranslateShortcut(MSG& message) {
  if (accelerator_table_ && accelerator_window_ != nullptr &&
      (message.hwnd == accelerator_window_ || IsChild(accelerator_window_, message.hwnd))) {
    return TranslateAcceleratorA(accelerator_window_, accelerator_table_.get(), &message) != 0;
  }
  return false;
}

void MenuTable::ForgetWindow(HWND hwnd) {
  if (GetMenu(hwnd) == menu_bar_ && menu_bar_ != nullptr) {
    std::erase(menus_, menu_bar_);
    menu_bar_ = nullptr;
  }
  if (accelerator_window_ == hwnd) accelerator_window_ = nullptr;
}

}  // namespace tandrel::win32
