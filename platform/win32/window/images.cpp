// The images the layer shows: icons from .ico bytes (menus and the tray show them), text
// drawn onto pictures; and what the menus and the tray get from the layer's windows.
#include <algorithm>
#include <cstring>

#include "platform/win32/window/win32_ui.h"

namespace tandrel::ui {

bool Win32Ui::LoadIconImage(ImageId image, const std::uint8_t* bytes, std::size_t size) {
  if (size < 22) return false;
  auto* data = const_cast<PBYTE>(bytes);
  const int offset = LookupIconIdFromDirectoryEx(data, TRUE, 16, 16, LR_DEFAULTCOLOR);
  if (offset <= 0 || static_cast<std::size_t>(offset) >= size) return false;
  HICON icon = CreateIconFromResourceEx(data + offset, static_cast<DWORD>(size - offset), TRUE, 0x00030000, 16, 16,
                                        LR_DEFAULTCOLOR);
  if (icon == nullptr) return false;
  win32::OwnedIcon& slot = icons_[image];
  const HICON replaced = slot.get();
  slot = win32::OwnedIcon(icon);
  // The tray may show the icon just replaced, whose handle is gone now.
  if (replaced != nullptr && tray_.Icon() == replaced) tray_.SetIcon(icon);
  return true;
}

HICON Win32Ui::Icon(ImageId image) const {
  auto icon = icons_.find(image);
  return icon == icons_.end() ? nullptr : icon->second.get();
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

void Win32Ui::SetMenuBar(WindowId window, const std::vector<MenuTitle>& titles) {
  HWND hwnd = Hwnd(window);
  if (hwnd == nullptr) return;
  menus_.SetMenuBar(hwnd, titles);
}

void Win32Ui::DefinePopupMenu(MenuId menu, const std::vector<MenuItem>& items) { menus_.DefinePopupMenu(menu, items); }

void Win32Ui::ShowPopupMenu(WindowId window, MenuId menu) { menus_.ShowPopupMenu(Hwnd(window), menu); }

void Win32Ui::SetMenuItemText(ItemId item, std::string_view text) { menus_.SetItemText(item, text); }

void Win32Ui::ApplyMenuItemEnabled(ItemId item, bool enabled) { menus_.EnableItem(item, enabled); }

void Win32Ui::AddShortcut(WindowId window, Shortcut key, ItemId event_id) {
  HWND hwnd = Hwnd(window);
  if (hwnd == nullptr) return;
  menus_.AddShortcut(hwnd, key, event_id);
}

bool Win32Ui::AddTrayIcon(WindowId window, ImageId image, std::string_view tooltip) {
  HWND hwnd = Hwnd(window);
  if (hwnd == nullptr) return false;
  return tray_.Add(hwnd, Icon(image), tooltip);
}

void Win32Ui::RemoveTrayIcon() { tray_.Remove(); }

void Win32Ui::ApplyTrayImage(ImageId image) { tray_.SetIcon(Icon(image)); }

void Win32Ui::ApplyTrayTooltip(const std::string& tooltip) { tray_.SetTooltip(tooltip); }

}  // namespace tandrel::ui
