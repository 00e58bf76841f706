// Runs inside the program under test, on a thread the driver starts there.
#include <cstdio>
#include <cstring>

#include "menu_probe.h"

namespace {

using driver::MenuProbeBlock;

void Append(MenuProbeBlock* block, const char* bytes, std::size_t size) {
  const std::size_t room = sizeof block->text - 1 - block->length;
  const std::size_t copied = size < room ? size : room;
  std::memcpy(block->text + block->length, bytes, copied);
  block->length += static_cast<unsigned>(copied);
  block->text[block->length] = '\0';
}

const char* StateName(UINT state) {
  // EnableMenuItem with MF_GRAYED sets only that bit (0x1); MFS_GRAYED is 0x3.
  if ((state & MF_GRAYED) != 0) return "greyed";
  if ((state & MF_DISABLED) != 0) return "disabled";
  return "enabled";
}

// One line: depth, id ("popup" for a submenu), state, icon/noicon, text.
void DescribeItem(MenuProbeBlock* block, HMENU menu, int position, int depth);

void DescribeLevel(MenuProbeBlock* block, HMENU menu, int depth) {
  const int count = GetMenuItemCount(menu);
  for (int position = 0; position < count; ++position) {
    DescribeItem(block, menu, position, depth);
  }
}

void DescribeItem(MenuProbeBlock* block, HMENU menu, int position, int depth) {
  char text[512] = {};
  MENUITEMINFOA info = {};
  info.cbSize = sizeof info;
  info.fMask = MIIM_ID | MIIM_STATE | MIIM_FTYPE | MIIM_BITMAP | MIIM_SUBMENU | MIIM_STRING;
  info.dwTypeData = text;
  info.cch = sizeof text - 1;
  if (!GetMenuItemInfoA(menu, static_cast<UINT>(position), TRUE, &info)) return;
  const bool icon = info.hbmpItem != nullptr || (info.fType & MFT_OWNERDRAW) != 0;
  char id[32] = {};
  if (info.hSubMenu != nullptr) {
    std::snprintf(id, sizeof id, "popup");
  } else if ((info.fType & MFT_SEPARATOR) != 0) {
    std::snprintf(id, sizeof id, "separator");
  } else {
    std::snprintf(id, sizeof id, "%u", info.wID);
  }
  char head[96] = {};
  const int head_size = std::snprintf(head, sizeof head, "%d\t%s\t%s\t%s\t", depth, id,
                                      StateName(info.fState), icon ? "icon" : "noicon");
  if (head_size > 0) Append(block, head, static_cast<std::size_t>(head_size));
  Append(block, text, std::strlen(text));
  Append(block, "\n", 1);
  if (info.hSubMenu != nullptr) DescribeLevel(block, info.hSubMenu, depth + 1);
}

}  // namespace

extern "C" __declspec(dllexport) DWORD WINAPI DescribeMenu(LPVOID parameter) {
  auto* block = static_cast<MenuProbeBlock*>(parameter);
  block->length = 0;
  block->text[0] = '\0';
  if (!IsMenu(block->menu)) return 1;
  DescribeLevel(block, block->menu, 0);
  return 0;
}
