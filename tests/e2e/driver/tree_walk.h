// Reading and expanding the items of a folder tree in another process.
#pragma once

#include <windows.h>
// After windows.h: commctrl.h relies on its types.
#include <commctrl.h>

#include <string>
#include <utility>
#include <vector>

namespace driver {

// The children of `parent` (null: the top level), after expanding it.
std::vector<std::pair<HTREEITEM, std::string>> TreeChildren(HWND tree, HTREEITEM parent);

}  // namespace driver
