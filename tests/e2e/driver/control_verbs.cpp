#include "verbs.h"
// After windows.h, which verbs.h brings in: commctrl.h relies on its types.
#include <commctrl.h>

#include <climits>
#include <cstring>

#include "remote_buffer.h"

namespace driver {
namespace {

inline constexpr std::size_t kItemTextSize = 1024;

HWND RequireListView(const Args& args) {
  HWND window = RequireWindow(args);
  return window != nullptr ? RequireControl(window, args, 1) : nullptr;
}

bool ReadListCell(HWND list, int row, int column, std::string* text) {
  RemoteBuffer remote(list, sizeof(LVITEMA) + kItemTextSize);
  LVITEMA item = {};
  item.iSubItem = column;
  item.pszText = remote.address() + sizeof(LVITEMA);
  item.cchTextMax = static_cast<int>(kItemTextSize);
  LRESULT length = 0;
  if (!remote.Write(0, &item, sizeof item) ||
      !SendWithTimeout(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row),
                       reinterpret_cast<LPARAM>(remote.address()), &length)) {
    return false;
  }
  char cell[kItemTextSize] = {};
  if (!remote.Read(sizeof(LVITEMA), cell, sizeof cell - 1)) return false;
  text->assign(cell, strnlen(cell, sizeof cell - 1));
  return true;
}

int PrintListMessage(const Args& args, UINT message) {
  HWND list = RequireListView(args);
  LRESULT value = 0;
  if (list == nullptr || !SendWithTimeout(list, message, 0, 0, &value)) return kNotFound;
  PrintLine(std::to_string(value));
  return kOk;
}

}  // namespace

// The field may change between asking its length and reading it (the copy worker
// updates it meanwhile), so the buffer is oversized and the text ends at its first NUL.
bool ReadStatusField(HWND bar, WPARAM field, std::string* text) {
  LRESULT length_and_type = 0;
  if (!SendWithTimeout(bar, SB_GETTEXTLENGTHA, field, 0, &length_and_type)) return false;
  constexpr std::size_t kSlack = 1024;
  const std::size_t size = LOWORD(length_and_type) + kSlack;
  RemoteBuffer buffer(bar, size);
  std::string read(size, '\0');
  LRESULT ignored = 0;
  if (!buffer.Write(0, read.data(), size) ||
      !SendWithTimeout(bar, SB_GETTEXTA, field, reinterpret_cast<LPARAM>(buffer.address()), &ignored) ||
      !buffer.Read(0, read.data(), size - 1)) {
    return false;
  }
  text->assign(read.c_str(), strnlen(read.c_str(), size - 1));
  return true;
}


int StatusVerb(const Args& args) {
  long long field = 0;
  if (!ParseNumber(args[1], &field) || field < 0 || field > 255) return kUsage;
  HWND window = RequireWindow(args);
  if (window == nullptr) return kNotFound;
  HWND bar = FindWindowExA(window, nullptr, STATUSCLASSNAMEA, nullptr);
  std::string text;
  if (bar == nullptr || !ReadStatusField(bar, static_cast<WPARAM>(field), &text)) {
    PrintError("cannot read the status bar");
    return kNotFound;
  }
  PrintLine(text);
  return kOk;
}

int ListCountVerb(const Args& args) { return PrintListMessage(args, LVM_GETITEMCOUNT); }

int ListSelectedCountVerb(const Args& args) {
  return PrintListMessage(args, LVM_GETSELECTEDCOUNT);
}

int ListRowVerb(const Args& args) {
  long long row = 0;
  if (!ParseNumber(args[2], &row) || row < 0 || row > INT_MAX) return kUsage;
  HWND list = RequireListView(args);
  std::string name;
  std::string folder;
  if (list == nullptr || !ReadListCell(list, static_cast<int>(row), 0, &name) ||
      !ReadListCell(list, static_cast<int>(row), 1, &folder)) {
    return kNotFound;
  }
  PrintLine(name + "\t" + folder);
  return kOk;
}

// Every row, one a line, as list-row prints each.
int ListRowsVerb(const Args& args) {
  HWND list = RequireListView(args);
  LRESULT count = 0;
  if (list == nullptr || !SendWithTimeout(list, LVM_GETITEMCOUNT, 0, 0, &count)) return kNotFound;
  std::string rows;
  for (int row = 0; row < static_cast<int>(count); ++row) {
    std::string name;
    std::string folder;
    if (!ReadListCell(list, row, 0, &name) || !ReadListCell(list, row, 1, &folder)) return kNotFound;
    rows += (row > 0 ? "\n" : "") + name + "\t" + folder;
  }
  PrintLine(rows);
  return kOk;
}

int GetTextVerb(const Args& args) {
  HWND window = RequireWindow(args);
  HWND control = window != nullptr ? RequireControl(window, args, 1) : nullptr;
  if (control == nullptr) return kNotFound;
  PrintLine(WindowText(control));
  return kOk;
}

// WM_SETTEXT is one of the messages whose text the system copies into the target.
int SetTextVerb(const Args& args) {
  HWND window = RequireWindow(args);
  HWND control = window != nullptr ? RequireControl(window, args, 1) : nullptr;
  LRESULT done = 0;
  if (control == nullptr ||
      !SendWithTimeout(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(args[2].c_str()), &done)) {
    return kNotFound;
  }
  return done ? kOk : kNotFound;
}

int CheckStateVerb(const Args& args) {
  HWND window = RequireWindow(args);
  HWND control = window != nullptr ? RequireControl(window, args, 1) : nullptr;
  LRESULT state = 0;
  if (control == nullptr || !SendWithTimeout(control, BM_GETCHECK, 0, 0, &state)) return kNotFound;
  PrintLine(std::to_string(state));
  return kOk;
}

}  // namespace driver
