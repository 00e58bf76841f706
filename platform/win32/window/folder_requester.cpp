// The system's folder requester.
#include "platform/win32/wide_paths.h"
#include "platform/win32/window/com.h"
#include "platform/win32/window/win32_ui.h"

namespace tandrel::ui {

std::optional<std::string> Win32Ui::ChooseFolder(std::string_view title) {
  const std::string caption(title);
  BROWSEINFOA info{};
  info.hwndOwner = MainHwnd();
  info.lpszTitle = caption.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  win32::OwnedIdList chosen(SHBrowseForFolderA(&info));
  if (!chosen) return std::nullopt;
  // Asked in UTF-16: the ANSI answer would name a best-fit look-alike of a folder whose
  // name the code page cannot hold.
  wchar_t path[MAX_PATH + 1] = {};
  if (!SHGetPathFromIDListW(chosen.get(), path)) return std::string();
  path[MAX_PATH] = L'\0';
  return win32::StoredSystemPathOf(path);
}

}  // namespace tandrel::ui
