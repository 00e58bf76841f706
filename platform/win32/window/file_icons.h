// The system's small icons for files and folders, found by the name's extension and the
// kind alone (the shell is told the attributes, so the disk is never touched), one
// look-up per extension.
#pragma once

#include <windows.h>
// After windows.h: it relies on its types.
#include <commctrl.h>

#include <map>
#include <string>
#include <string_view>

namespace tandrel::win32 {

class FileIcons {
 public:
  // The system's image list of small icons; null when the shell gives none.
  static HIMAGELIST SmallImageList();
  // The icon's index in that list; -1 when the shell has none.
  int IndexFor(std::string_view name, bool folder);

 private:
  int folder_index_ = -2;  // -2: not looked up yet
  std::map<std::string, int> by_extension_;  // folded, with its dot; "" for none
};

}  // namespace tandrel::win32
