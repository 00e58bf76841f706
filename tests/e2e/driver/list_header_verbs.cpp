// The result list's header and icons: clicks on a column's header, the sort arrows it
// shows, and the image list and a row's icon.
#include "verbs.h"
// After windows.h, which verbs.h brings in: commctrl.h relies on its types.
#include <commctrl.h>

#include <climits>
#include <string>

#include "remote_buffer.h"

namespace driver {
namespace {

HWND RequireList(const Args& args) {
  HWND window = RequireWindow(args);
  return window != nullptr ? RequireControl(window, args, 1) : nullptr;
}

HWND HeaderOf(HWND list) {
  LRESULT header = 0;
  if (!SendWithTimeout(list, LVM_GETHEADER, 0, 0, &header)) return nullptr;
  return reinterpret_cast<HWND>(header);
}

}  // namespace

// A press and release of the left button in the middle of the column's header item.
int HeaderClickVerb(const Args& args) {
  long long column = 0;
  if (!ParseNumber(args[2], &column) || column < 0 || column > 100) return kUsage;
  HWND list = RequireList(args);
  HWND header = list != nullptr ? HeaderOf(list) : nullptr;
  if (header == nullptr) return kNotFound;
  RemoteBuffer remote(header, sizeof(RECT));
  RECT item = {};
  LRESULT done = 0;
  if (!SendWithTimeout(header, HDM_GETITEMRECT, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(remote.address()),
                       &done) ||
      !done || !remote.Read(0, &item, sizeof item)) {
    return kNotFound;
  }
  const LPARAM where = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
  PostMessageA(header, WM_LBUTTONDOWN, MK_LBUTTON, where);
  PostMessageA(header, WM_LBUTTONUP, 0, where);
  return kOk;
}

// One word per column: "up", "down" or "-".
int HeaderArrowsVerb(const Args& args) {
  HWND list = RequireList(args);
  HWND header = list != nullptr ? HeaderOf(list) : nullptr;
  LRESULT columns = 0;
  if (header == nullptr || !SendWithTimeout(header, HDM_GETITEMCOUNT, 0, 0, &columns)) return kNotFound;
  RemoteBuffer remote(header, sizeof(HDITEMA));
  std::string words;
  for (LRESULT i = 0; i < columns; ++i) {
    HDITEMA item = {};
    item.mask = HDI_FORMAT;
    LRESULT done = 0;
    if (!remote.Write(0, &item, sizeof item) ||
        !SendWithTimeout(header, HDM_GETITEMA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(remote.address()),
                         &done) ||
        !done || !remote.Read(0, &item, sizeof item)) {
      return kNotFound;
    }
    if (!words.empty()) words += " ";
    words += (item.fmt & HDF_SORTUP) != 0 ? "up" : (item.fmt & HDF_SORTDOWN) != 0 ? "down" : "-";
  }
  PrintLine(words);
  return kOk;
}

// "LIST IMAGE": 1 when the list has an image list of small icons, and the row's icon index.
int ListIconVerb(const Args& args) {
  long long row = 0;
  if (!ParseNumber(args[2], &row) || row < 0 || row > INT_MAX) return kUsage;
  HWND list = RequireList(args);
  LRESULT images = 0;
  if (list == nullptr || !SendWithTimeout(list, LVM_GETIMAGELIST, LVSIL_SMALL, 0, &images)) return kNotFound;
  RemoteBuffer remote(list, sizeof(LVITEMA));
  LVITEMA item = {};
  item.mask = LVIF_IMAGE;
  item.iItem = static_cast<int>(row);
  item.iImage = -2;
  LRESULT done = 0;
  if (!remote.Write(0, &item, sizeof item) ||
      !SendWithTimeout(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(remote.address()), &done) || !done ||
      !remote.Read(0, &item, sizeof item)) {
    return kNotFound;
  }
  PrintLine(std::string(images != 0 ? "1" : "0") + " " + std::to_string(item.iImage));
  return kOk;
}

}  // namespace driver
