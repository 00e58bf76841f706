// The program's one icon in the notification area, added to a window that gets its
// clicks as kTrayMessage.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace tandrel::win32 {

class TrayIcon {
 public:
  TrayIcon() = default;
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;

  // Adds the icon to `window`; false when the system refused it.
  bool Add(HWND window, HICON icon, std::string_view tooltip);
  // Adds the icon again with its current image and tip, after Explorer restarted (its
  // icons are gone then). Nothing once the icon was removed.
  void AddAgain();
  // Removes the icon; it is not added again by a restart.
  void Remove();
  void SetIcon(HICON icon);
  void SetTooltip(const std::string& tooltip);
  // The window the icon was added to, null when it has none.
  HWND Window() const { return window_; }
  // The image it shows; owned by whoever set it, who sets another before freeing it.
  HICON Icon() const { return icon_; }

 private:
  HWND window_ = nullptr;
  HICON icon_ = nullptr;
  std::string tooltip_;
  bool added_ = false;
};

}  // namespace tandrel::win32
