// The shell's own context menu for hits (Open with, Send to, Properties...), as the file
// browser shows it: asked of the hits' folder, shown at the pointer, and the chosen
// command carried out by the shell.
#include "platform/win32/window/win32_ui.h"

namespace tandrel::ui {
namespace {

// The command numbers the shell may give its items; 0 means nothing was chosen.
constexpr UINT kFirstCommand = 1;
constexpr UINT kLastCommand = 0x7FFF;

// The item's folder: its list without the last part.
win32::OwnedIdList FolderOf(PCIDLIST_ABSOLUTE item) {
  win32::OwnedIdList folder(ILClone(item));
  if (folder) ILRemoveLastID(folder.get());
  return folder;
}

}  // namespace

void Win32Ui::ShowShellMenu(const std::vector<std::string>& paths) {
  HWND owner = MainHwnd();
  if (owner == nullptr) return;
  std::vector<win32::OwnedIdList> items;
  for (const std::wstring& real : win32::RealPathsOf(paths)) {
    win32::OwnedIdList item(ILCreateFromPathW(real.c_str()));
    if (item) items.push_back(std::move(item));  // else gone since the index was made
  }
  if (items.empty()) return;
  IShellFolder* parent_raw = nullptr;
  if (FAILED(SHBindToParent(items[0].get(), IID_IShellFolder, reinterpret_cast<void**>(&parent_raw), nullptr))) return;
  win32::ComRef<IShellFolder> parent(parent_raw);
  const win32::OwnedIdList first_folder = FolderOf(items[0].get());
  if (!first_folder) return;
  std::vector<PCUITEMID_CHILD> children;
  for (const win32::OwnedIdList& item : items) {
    const win32::OwnedIdList folder = FolderOf(item.get());
    if (folder && ILIsEqual(folder.get(), first_folder.get())) children.push_back(ILFindLastID(item.get()));
  }
  IContextMenu* menu_raw = nullptr;
  if (FAILED(parent.get()->GetUIObjectOf(owner, static_cast<UINT>(children.size()), children.data(), IID_IContextMenu,
                                   nullptr, reinterpret_cast<void**>(&menu_raw)))) {
    return;
  }
  win32::ComRef<IContextMenu> menu(menu_raw);
  win32::OwnedMenu popup(CreatePopupMenu());
  if (!popup || FAILED(menu.get()->QueryContextMenu(popup.get(), 0, kFirstCommand, kLastCommand, CMF_NORMAL))) return;
  IContextMenu2* drawing_raw = nullptr;
  if (FAILED(menu.get()->QueryInterface(IID_IContextMenu2, reinterpret_cast<void**>(&drawing_raw)))) drawing_raw = nullptr;
  win32::ComRef<IContextMenu2> drawing(drawing_raw);
  POINT at{};
  GetCursorPos(&at);
  // Without the foreground the menu would not close when the user clicks elsewhere.
  SetForegroundWindow(owner);
  open_shell_menu_ = drawing_raw;
  const UINT chosen = static_cast<UINT>(
      TrackPopupMenuEx(popup.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, owner, nullptr));
  open_shell_menu_ = nullptr;
  PostMessageA(owner, WM_NULL, 0, 0);
  if (chosen < kFirstCommand) return;
  CMINVOKECOMMANDINFO invoke{};
  invoke.cbSize = sizeof invoke;
  invoke.hwnd = owner;
  invoke.lpVerb = MAKEINTRESOURCEA(chosen - kFirstCommand);
  invoke.nShow = SW_SHOWNORMAL;
  (void)menu.get()->InvokeCommand(&invoke);
}

bool Win32Ui::ForwardToShellMenu(UINT message, WPARAM wparam, LPARAM lparam) {
  if (open_shell_menu_ == nullptr) return false;
  if (message != WM_INITMENUPOPUP && message != WM_DRAWITEM && message != WM_MEASUREITEM) return false;
  return SUCCEEDED(open_shell_menu_->HandleMenuMsg(message, wparam, lparam));
}

}  // namespace tandrel::ui
