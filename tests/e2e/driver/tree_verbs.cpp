// Folder trees of the program under test: walking a path from the top level down,
// expanding each item on the way as a user would, so that the program fills it.
#include "verbs.h"
// After windows.h, which verbs.h brings in: commctrl.h relies on its types.
#include <commctrl.h>

#include <cstring>
#include <utility>
#include <vector>

#include "remote_buffer.h"
#include "tree_walk.h"

namespace driver {
namespace {

inline constexpr std::size_t kTextSize = MAX_PATH + 1;

HTREEITEM Next(HWND tree, HTREEITEM item, WPARAM relation) {
  LRESULT next = 0;
  if (!SendWithTimeout(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item), &next)) return nullptr;
  return reinterpret_cast<HTREEITEM>(next);
}

bool ItemText(HWND tree, HTREEITEM item, std::string* text) {
  RemoteBuffer remote(tree, sizeof(TVITEMA) + kTextSize);
  TVITEMA query = {};
  query.mask = TVIF_TEXT;
  query.hItem = item;
  query.pszText = remote.address() + sizeof(TVITEMA);
  query.cchTextMax = static_cast<int>(kTextSize);
  LRESULT done = 0;
  char buffer[kTextSize] = {};
  if (!remote.Write(0, &query, sizeof query) ||
      !SendWithTimeout(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(remote.address()), &done) || !done ||
      !remote.Read(sizeof(TVITEMA), buffer, sizeof buffer - 1)) {
    return false;
  }
  text->assign(buffer, strnlen(buffer, sizeof buffer - 1));
  return true;
}

// Follows the backslash-separated parts of `path` (compared without regard to case, as
// the file system does) from the top level; false when a part is missing.
bool FindPath(HWND tree, const std::string& path, HTREEITEM* found) {
  HTREEITEM item = nullptr;
  std::size_t start = 0;
  while (start < path.size()) {
    std::size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    const std::string part = path.substr(start, end - start);
    start = end + 1;
    if (part.empty()) continue;
    HTREEITEM match = nullptr;
    for (const auto& [child, text] : TreeChildren(tree, item)) {
      if (lstrcmpiA(text.c_str(), part.c_str()) == 0) match = child;
    }
    if (match == nullptr) {
      PrintError("no tree item \"" + part + "\"");
      return false;
    }
    item = match;
  }
  *found = item;
  return true;
}

HWND RequireTree(const Args& args) {
  HWND window = RequireWindow(args);
  return window != nullptr ? RequireControl(window, args, 1) : nullptr;
}

}  // namespace

std::vector<std::pair<HTREEITEM, std::string>> TreeChildren(HWND tree, HTREEITEM parent) {
  LRESULT ignored = 0;
  if (parent != nullptr) SendWithTimeout(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(parent), &ignored);
  std::vector<std::pair<HTREEITEM, std::string>> children;
  HTREEITEM child = parent == nullptr ? Next(tree, nullptr, TVGN_ROOT) : Next(tree, parent, TVGN_CHILD);
  for (; child != nullptr; child = Next(tree, child, TVGN_NEXT)) {
    std::string text;
    if (!ItemText(tree, child, &text)) break;
    children.emplace_back(child, text);
  }
  return children;
}

int TreeSelectVerb(const Args& args) {
  HWND tree = RequireTree(args);
  HTREEITEM item = nullptr;
  if (tree == nullptr || !FindPath(tree, args[2], &item) || item == nullptr) return kNotFound;
  LRESULT done = 0;
  SendWithTimeout(tree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item), &done);
  if (!SendWithTimeout(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item), &done) || !done) {
    return kNotFound;
  }
  return kOk;
}

int TreeChildrenVerb(const Args& args) {
  HWND tree = RequireTree(args);
  HTREEITEM item = nullptr;
  if (tree == nullptr || !FindPath(tree, args.size() > 2 ? args[2] : std::string(), &item)) return kNotFound;
  std::string lines;
  for (const auto& [child, text] : TreeChildren(tree, item)) lines += text + "\n";
  if (!lines.empty()) lines.pop_back();
  PrintLine(lines);
  return kOk;
}

}  // namespace driver
