// The menus of the window layer: the menu bar, the popup menus, the icons beside items,
// and the keyboard shortcuts that raise item numbers like the menus do.
#pragma once

#include <windows.h>

#include <map>
#include <string_view>
#include <vector>

#include "platform/win32/handles.h"
#include "platform/window/values.h"

namespace tandrel::win32 {

class MenuTable {
 public:
  // Icons come from `icons`, which outlives the table.
  explicit MenuTable(const std::map<ui::ImageId, OwnedIcon>& icons) : icons_(icons) {}
  MenuTable(const MenuTable&) = delete;
  MenuTable& operator=(const MenuTable&) = delete;

  void SetMenuBar(HWND window, const std::vector<ui::MenuTitle>& titles);
  void DefinePopupMenu(ui::MenuId menu, const std::vector<ui::MenuItem>& items);
  void ShowPopupMenu(HWND window, ui::MenuId menu);
  void SetItemText(ui::ItemId item, std::string_view text);
  void EnableItem(ui::ItemId item, bool enabled);
  void AddShortcut(HWND window, ui::Shortcut key, ui::ItemId event_id);
  // Turns a shortcut's key press into its item's command; true when it did.
  bool TranslateShortcut(MSG& message);
  // `window` is going: its menu bar goes with it, and its shortcuts end.
  void ForgetWindow(HWND window);

 private:
  HBITMAP MenuBitmap(ui::ImageId image);
  HMENU MenuOfItem(ui::ItemId item) const;
  void RebuildAccelerators();

  const std::map<ui::ImageId, OwnedIcon>& icons_;
  std::map<ui::ImageId, OwnedBitmap> menu_bitmaps_;
  std::vector<HMENU> menus_;  // every menu holding items, for item lookups
  std::map<ui::MenuId, OwnedMenu> popups_;
  HMENU menu_bar_ = nullptr;  // owned by its window
  std::vector<ACCEL> accelerators_;
  OwnedAccelerators accelerator_table_;
  HWND accelerator_window_ = nullptr;
};

}  // namespace tandrel::win32
