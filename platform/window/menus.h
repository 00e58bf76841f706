// Menus, keyboard shortcuts, the tray icon and the images they show. Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/window/values.h"

namespace tandrel::ui {

class Menus {
 public:
  // Menus. Item numbers are the event ids.
  virtual void SetMenuBar(WindowId window, const std::vector<MenuTitle>& titles) = 0;
  virtual void DefinePopupMenu(MenuId menu, const std::vector<MenuItem>& items) = 0;
  virtual void ShowPopupMenu(WindowId window, MenuId menu) = 0;  // at the pointer
  virtual void SetMenuItemText(ItemId item, std::string_view text) = 0;
  virtual void AddShortcut(WindowId window, Shortcut key, ItemId event_id) = 0;

  // Images: icons from .ico bytes, and text drawn onto a picture in the drawing layer's
  // default font. (Names avoid LoadIcon/DrawText, which windows.h defines.)
  [[nodiscard]] virtual bool LoadIconImage(ImageId image, const std::uint8_t* bytes, std::size_t size) = 0;
  virtual void DrawPictureText(Picture& picture, int x, int y, std::uint8_t red,
                               std::uint8_t green, std::uint8_t blue, std::string_view text) = 0;

  // The tray icon of `window`.
  virtual bool AddTrayIcon(WindowId window, ImageId image, std::string_view tooltip) = 0;
  virtual void RemoveTrayIcon() = 0;

 protected:
  ~Menus() = default;
};

}  // namespace tandrel::ui
