// The folder tree: a tree view of the drives that are ready, whose folders are listed only
// when the user first expands them, so that the tree of a large disk opens at once.
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/drive_probe.h"
#include "platform/platform.h"
#include "platform/win32/window/win32_ui.h"

namespace tandrel::ui {
namespace {

constexpr std::size_t kItemTextSize = MAX_PATH + 1;

// Asking about a drive without a medium would otherwise bring up the system's
// "no disk" prompt. Per thread: drives are asked on several at once.
class NoCriticalErrorBoxes {
 public:
  NoCriticalErrorBoxes() { SetThreadErrorMode(SEM_FAILCRITICALERRORS, &previous_); }
  ~NoCriticalErrorBoxes() { SetThreadErrorMode(previous_, nullptr); }
  NoCriticalErrorBoxes(const NoCriticalErrorBoxes&) = delete;
  NoCriticalErrorBoxes& operator=(const NoCriticalErrorBoxes&) = delete;

 private:
  DWORD previous_ = 0;
};

constexpr std::uint32_t kSlowDriveBudgetMs = 300;

bool MediumAnswers(const std::string& drive) {
  NoCriticalErrorBoxes quiet;
  const std::string root = drive + "\\";
  return GetVolumeInformationA(root.c_str(), nullptr, 0, nullptr, nullptr, nullptr, nullptr, 0) != 0;
}

// "C:" and so on, for every drive whose medium can be read now. Asking a network or
// removable drive can take many seconds, so those are asked off this thread.
std::vector<std::string> ReadyDrives(platform::DriveProber& prober) {
  std::vector<platform::DriveCandidate> drives;
  const DWORD present = GetLogicalDrives();
  for (int letter = 0; letter < 26; ++letter) {
    if ((present & (1u << letter)) == 0) continue;
    const std::string drive{static_cast<char>('A' + letter), ':'};
    const UINT type = GetDriveTypeA((drive + "\\").c_str());
    if (type == DRIVE_NO_ROOT_DIR) continue;
    drives.push_back({drive, type != DRIVE_FIXED && type != DRIVE_RAMDISK});
  }
  return prober.ReadyDrives(drives, MediumAnswers, kSlowDriveBudgetMs);
}

// Every folder gets an expand button until its first expansion shows it has no
// sub-folders: listing each folder ahead of time would cost a listing per folder shown.
void InsertFolderItem(HWND tree, HTREEITEM parent, const std::string& name) {
  std::string text = name;
  TVINSERTSTRUCTA insert{};
  insert.hParent = parent;
  insert.hInsertAfter = TVI_LAST;
  insert.item.mask = TVIF_TEXT | TVIF_CHILDREN;
  insert.item.pszText = text.data();
  insert.item.cChildren = 1;
  SendMessageA(tree, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert));
}

std::string ItemText(HWND tree, HTREEITEM item) {
  char text[kItemTextSize] = {};
  TVITEMA query{};
  query.mask = TVIF_TEXT;
  query.hItem = item;
  query.pszText = text;
  query.cchTextMax = static_cast<int>(sizeof text);
  if (!SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&query))) return {};
  return std::string(text, strnlen(text, sizeof text - 1));
}

HTREEITEM NextItem(HWND tree, HTREEITEM item, WPARAM relation) {
  return reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item)));
}

// The item's full path: the drive, then each folder, every part followed by a backslash.
std::string ItemPath(HWND tree, HTREEITEM item) {
  std::vector<std::string> parts;
  for (; item != nullptr; item = NextItem(tree, item, TVGN_PARENT)) parts.push_back(ItemText(tree, item));
  std::string path;
  for (auto part = parts.rbegin(); part != parts.rend(); ++part) path += *part + "\\";
  return path;
}

}  // namespace

LRESULT Win32Ui::HandleTreeNotify(WindowId window, ControlId id, const NMHDR& header, LPARAM lparam) {
  if (QueueMouseNotify(window, id, header.code)) return 0;
  // The tree sends the wide form when its parent asks for it; only the item is read,
  // which both forms hold at the same place.
  if (header.code == TVN_ITEMEXPANDINGA || header.code == TVN_ITEMEXPANDINGW) {
    const auto* info = reinterpret_cast<const NMTREEVIEWA*>(lparam);
    if ((info->action & TVE_EXPAND) != 0) ExpandFolderItem(header.hwndFrom, info->itemNew.hItem);
  }
  return 0;  // FALSE to TVN_ITEMEXPANDING: let it expand
}

void Win32Ui::AddFolderTree(WindowId window, ControlId id, Rect at) {
  HWND tree = AddChild(window, id, WC_TREEVIEWA,
                       WS_TABSTOP | TVS_HASLINES | TVS_HASBUTTONS | TVS_LINESATROOT | TVS_SHOWSELALWAYS,
                       WS_EX_CLIENTEDGE, at, "");
  if (tree == nullptr) return;
  trees_.insert({window, id});
  for (const std::string& drive : ReadyDrives(drive_prober_)) InsertFolderItem(tree, TVI_ROOT, drive);
}

void Win32Ui::ExpandFolderItem(HWND tree, HTREEITEM item) {
  if (item == nullptr || NextItem(tree, item, TVGN_CHILD) != nullptr) return;  // listed before
  const std::vector<std::string> names = platform::ListSubfolders(ItemPath(tree, item));
  if (names.empty()) {
    // No sub-folders (or none that can be listed): the expand button goes.
    TVITEMA change{};
    change.mask = TVIF_CHILDREN;
    change.hItem = item;
    change.cChildren = 0;
    SendMessageA(tree, TVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&change));
    return;
  }
  SendMessageA(tree, WM_SETREDRAW, FALSE, 0);
  for (const std::string& name : names) InsertFolderItem(tree, item, name);
  SendMessageA(tree, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(tree, nullptr, TRUE);
}

std::string Win32Ui::SelectedFolderPath(HWND tree) const {
  HTREEITEM selected = NextItem(tree, nullptr, TVGN_CARET);
  return selected == nullptr ? std::string() : ItemPath(tree, selected);
}

}  // namespace tandrel::ui
