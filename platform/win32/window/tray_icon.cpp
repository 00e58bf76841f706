// The tray icon: Shell_NotifyIconA with one icon of id 0 per window.
#include "platform/win32/window/tray_icon.h"

#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/win32/window/message_ids.h"

namespace tandrel::win32 {
namespace {

constexpr UINT kTrayId = 0;
constexpr std::size_t kTooltipLimit = 63;  // the tray's tip holds 64 bytes with the NUL

void CopyBounded(char* target, std::size_t capacity, std::string_view text) {
  const std::size_t n = std::min(text.size(), capacity - 1);
  std::memcpy(target, text.data(), n);
  target[n] = '\0';
}

}  // namespace

bool TrayIcon::Add(HWND window, HICON icon, std::string_view tooltip) {
  window_ = window;
  icon_ = icon;
  tooltip_ = std::string(tooltip);
  AddAgain();
  return added_;
}

void TrayIcon::AddAgain() {
  if (window_ == nullptr) return;
  NOTIFYICONDATAA data{};
  data.cbSize = sizeof data;
  data.hWnd = window_;
  data.uID = kTrayId;
  data.uFlags = NIF_ICON | NIF_TIP | NIF_MESSAGE;
  data.uCallbackMessage = kTrayMessage;
  data.hIcon = icon_;
  CopyBounded(data.szTip, std::min(sizeof data.szTip, kTooltipLimit + 1), tooltip_);
  added_ = Shell_NotifyIconA(NIM_ADD, &data) != 0;
}

void TrayIcon::Remove() {
  HWND window = std::exchange(window_, nullptr);  // not added again by a restart
  if (!added_) return;
  NOTIFYICONDATAA data{};
  data.cbSize = sizeof data;
  data.hWnd = window;
  data.uID = kTrayId;
  Shell_NotifyIconA(NIM_DELETE, &data);
  added_ = false;
}

void TrayIcon::SetIcon(HICON icon) {
  icon_ = icon;
  if (!added_ || icon == nullptr) return;
  NOTIFYICONDATAA data{};
  data.cbSize = sizeof data;
  data.hWnd = window_;
  data.uID = kTrayId;
  data.uFlags = NIF_ICON;
  data.hIcon = icon;
  Shell_NotifyIconA(NIM_MODIFY, &data);
}

void TrayIcon::SetTooltip(const std::string& tooltip) {
  tooltip_ = tooltip;
  if (!added_) return;
  NOTIFYICONDATAA data{};
  data.cbSize = sizeof data;
  data.hWnd = window_;
  data.uID = kTrayId;
  data.uFlags = NIF_TIP;
  CopyBounded(data.szTip, std::min(sizeof data.szTip, kTooltipLimit + 1), tooltip);
  Shell_NotifyIconA(NIM_MODIFY, &data);
}

}  // namespace tandrel::win32
