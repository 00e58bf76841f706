// What the result actions need: the folder requester driven from outside, a drop target
// window that receives a dragged file list, the clipboard's file list, screen positions
// for a pointer moved by the X server, and a log of the copy's status fields.
#include "verbs.h"
// After windows.h, which verbs.h brings in: they rely on its types.
#include <ole2.h>
#include <shlobj.h>
#include <shellapi.h>

#include <atomic>
#include <cstring>
#include <vector>

#include <commctrl.h>

#include "menu_probe.h"
#include "menus.h"
#include "remote_buffer.h"
#include "tree_walk.h"

namespace driver {
namespace {

// The `index`th path of a dropped file list, in UTF-8: names the ANSI code page cannot
// hold come out as they are, not as look-alikes.
std::string DroppedPath(HDROP drop, UINT index) {
  wchar_t path[MAX_PATH + 1] = {};
  const UINT length = DragQueryFileW(drop, index, path, MAX_PATH);
  const int size = WideCharToMultiByte(CP_UTF8, 0, path, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) WideCharToMultiByte(CP_UTF8, 0, path, static_cast<int>(length), utf8.data(), size, nullptr, nullptr);
  return utf8;
}

struct RequesterSearch {
  HWND found = nullptr;
};

// A folder tree that holds items: the requester has filled it and is ready for the user.
BOOL CALLBACK HasFilledTree(HWND child, LPARAM found) {
  LRESULT items = 0;
  if (ClassName(child) == "SysTreeView32" && SendWithTimeout(child, TVM_GETCOUNT, 0, 0, &items) &&
      items > 0) {
    *reinterpret_cast<bool*>(found) = true;
    return FALSE;
  }
  return TRUE;
}

// The folder requester: a visible dialog holding a filled folder tree.
BOOL CALLBACK MatchRequester(HWND window, LPARAM lparam) {
  if (!IsWindowVisible(window) || ClassName(window) != "#32770") return TRUE;
  bool tree = false;
  EnumChildWindows(window, HasFilledTree, reinterpret_cast<LPARAM>(&tree));
  if (!tree) return TRUE;
  reinterpret_cast<RequesterSearch*>(lparam)->found = window;
  return FALSE;
}

BOOL CALLBACK PrintStaticText(HWND child, LPARAM) {
  if (ClassName(child) == "Static" && !WindowText(child).empty()) PrintLine(WindowText(child));
  return TRUE;
}

// Prints "entered" when a drag first comes over the window, then the dropped files, one a
// line, and "allowed=" and the effects the source allowed.
class PrintingDropTarget final : public IDropTarget {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDropTarget)) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override { return --references_; }  // lives on the stack
  HRESULT STDMETHODCALLTYPE DragEnter(IDataObject*, DWORD, POINTL, DWORD* effect) override {
    if (!entered_) PrintLine("entered");
    entered_ = true;
    *effect &= DROPEFFECT_COPY;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD* effect) override {
    *effect &= DROPEFFECT_COPY;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DragLeave() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) override {
    allowed_ = *effect;
    FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    if (SUCCEEDED(data->GetData(&format, &medium))) {
      HDROP drop = static_cast<HDROP>(medium.hGlobal);
      const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
      for (UINT i = 0; i < count; ++i) PrintLine(DroppedPath(drop, i));
      ReleaseStgMedium(&medium);
    }
    PrintLine("allowed=" + std::to_string(allowed_));
    *effect = DROPEFFECT_COPY;
    dropped_ = true;
    return S_OK;
  }
  bool dropped() const { return dropped_; }

 private:
  std::atomic<ULONG> references_{1};
  DWORD allowed_ = 0;
  bool entered_ = false;
  bool dropped_ = false;
};

// A label names a path part when it is that part or, for a drive, shows it in brackets
// after the drive's name ("System (C:)").
bool LabelNames(const std::string& label, const std::string& part) {
  if (lstrcmpiA(label.c_str(), part.c_str()) == 0) return true;
  const std::string bracketed = "(" + part + ")";
  return label.size() >= bracketed.size() &&
         lstrcmpiA(label.c_str() + (label.size() - bracketed.size()), bracketed.c_str()) == 0;
}

// Drives sit a few levels below the top of the requester's tree (under the desktop and
// the computer); searched level by level so that the nearer items are expanded first.
HTREEITEM FindDrive(HWND tree, const std::string& drive) {
  constexpr int kDriveDepth = 3;
  std::vector<HTREEITEM> level{nullptr};
  for (int depth = 0; depth < kDriveDepth && !level.empty(); ++depth) {
    std::vector<HTREEITEM> below;
    for (HTREEITEM parent : level) {
      for (const auto& [child, text] : TreeChildren(tree, parent)) {
        if (LabelNames(text, drive)) return child;
        below.push_back(child);
      }
    }
    level = std::move(below);
  }
  PrintError("no drive \"" + drive + "\" in the requester's tree");
  return nullptr;
}

// The item of an absolute path ("C:\\a\\b"), expanding each folder on the way as a user would.
HTREEITEM FindFolder(HWND tree, const std::string& path) {
  std::size_t start = path.find('\\');
  HTREEITEM item = FindDrive(tree, path.substr(0, start));
  while (item != nullptr && start != std::string::npos && start + 1 < path.size()) {
    std::size_t end = path.find('\\', start + 1);
    const std::string part = path.substr(start + 1, end == std::string::npos ? std::string::npos : end - start - 1);
    start = end;
    if (part.empty()) continue;
    HTREEITEM match = nullptr;
    std::string seen;
    for (const auto& [child, text] : TreeChildren(tree, item)) {
      if (lstrcmpiA(text.c_str(), part.c_str()) == 0) match = child;
      seen += " \"" + text + "\"";
    }
    if (match == nullptr) PrintError("no folder \"" + part + "\" in the requester's tree, only" + seen);
    item = match;
  }
  return item;
}

HWND FindTree(HWND requester) {
  HWND tree = nullptr;
  EnumChildWindows(
      requester,
      [](HWND child, LPARAM found) -> BOOL {
        if (ClassName(child) != "SysTreeView32") return TRUE;
        *reinterpret_cast<HWND*>(found) = child;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&tree));
  return tree;
}

}  // namespace

static HWND WaitRequester(unsigned timeout_ms) {
  RequesterSearch search;
  PollUntil(timeout_ms, [&] {
    EnumWindows(MatchRequester, reinterpret_cast<LPARAM>(&search));
    return search.found != nullptr;
  });
  if (search.found == nullptr) PrintError("no folder requester open");
  return search.found;
}

// requester-texts [TIMEOUT_MS]: waits for the folder requester and prints its texts.
int RequesterTextsVerb(const Args& args) {
  unsigned timeout_ms = 0;
  if (!ParseTimeout(args, 0, &timeout_ms)) return kUsage;
  HWND requester = WaitRequester(timeout_ms);
  if (requester == nullptr) return kNotFound;
  EnumChildWindows(requester, PrintStaticText, 0);
  return kOk;
}

// browse-folder PATH [TIMEOUT_MS]: waits for the folder requester, selects PATH in its
// tree and presses OK. The tree is driven rather than the requester's own selection
// message, which Wine ignores when it comes from another process.
int BrowseFolderVerb(const Args& args) {
  unsigned timeout_ms = 0;
  if (!ParseTimeout(args, 1, &timeout_ms)) return kUsage;
  HWND requester = WaitRequester(timeout_ms);
  if (requester == nullptr) return kNotFound;
  HWND tree = FindTree(requester);
  HTREEITEM item = tree != nullptr ? FindFolder(tree, args[0]) : nullptr;
  if (item == nullptr) return kNotFound;
  LRESULT done = 0;
  SendWithTimeout(tree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item), &done);
  if (!SendWithTimeout(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item), &done) || !done) {
    PrintError("the requester's tree did not select the folder");
    return kNotFound;
  }
  HWND ok = GetDlgItem(requester, IDOK);
  if (ok == nullptr) return kNotFound;
  PostMessageA(ok, BM_CLICK, 0, 0);
  return kOk;
}

// drop-target TITLE X Y TIMEOUT_MS: opens a 300 x 300 window at X, Y registered as a drop
// target and prints when a drag arrives and what is dropped on it, paths in UTF-8 (exit
// 0), or times out (exit 1).
int DropTargetVerb(const Args& args) {
  long long x = 0;
  long long y = 0;
  long long timeout = 0;
  if (!ParseNumber(args[1], &x) || !ParseNumber(args[2], &y) || !ParseNumber(args[3], &timeout)) return kUsage;
  if (FAILED(OleInitialize(nullptr))) return kNotFound;
  HWND window = CreateWindowExA(WS_EX_TOPMOST, "STATIC", args[0].c_str(), WS_POPUP | WS_VISIBLE | WS_BORDER,
                                static_cast<int>(x), static_cast<int>(y), 300, 300, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
  PrintingDropTarget target;
  if (window == nullptr || FAILED(RegisterDragDrop(window, &target))) return kNotFound;
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeout);
  while (!target.dropped() && GetTickCount64() < deadline) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  RevokeDragDrop(window);
  DestroyWindow(window);
  OleUninitialize();
  return target.dropped() ? kOk : kNotFound;
}

// clipboard-files: the clipboard's file list, one path a line in UTF-8, then "text=" and
// its ANSI text.
int ClipboardFilesVerb(const Args&) {
  if (!OpenClipboard(nullptr)) return kNotFound;
  if (HANDLE drop = GetClipboardData(CF_HDROP)) {
    const UINT count = DragQueryFileW(static_cast<HDROP>(drop), 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) PrintLine(DroppedPath(static_cast<HDROP>(drop), i));
  }
  std::string text;
  if (HANDLE data = GetClipboardData(CF_TEXT)) {
    if (const char* bytes = static_cast<const char*>(GlobalLock(data))) {
      text.assign(bytes, strnlen(bytes, GlobalSize(data)));
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  PrintLine("text=" + text);
  return kOk;
}

// log-fields TITLE FIELD_A FIELD_B FILE: from now on the program itself appends "A|B" to
// FILE (a path as the program sees it) each time the pair of status fields changes, the
// pair as it is first; no change escapes, however briefly it shows.
int LogFieldsVerb(const Args& args) {
  long long first = 0;
  long long second = 0;
  if (!ParseNumber(args[1], &first) || !ParseNumber(args[2], &second) || first < 0 || first > 255 ||
      second < 0 || second > 255 || args[3].size() >= MAX_PATH) {
    return kUsage;
  }
  HWND window = RequireWindow(args);
  HWND bar = window != nullptr ? FindWindowExA(window, nullptr, STATUSCLASSNAMEA, nullptr) : nullptr;
  if (bar == nullptr) return kNotFound;
  StatusLogBlock log{bar, static_cast<unsigned>(first), static_cast<unsigned>(second), {}};
  std::memcpy(log.path, args[3].c_str(), args[3].size());
  RemoteBuffer block(bar, sizeof log);
  if (!block.Write(0, &log, sizeof log) || !RunInProbe(bar, kStatusLogEntry, block)) {
    PrintError("the status log could not start in the target");
    return kNotFound;
  }
  return kOk;
}

// screen-point TITLE X Y: the screen position of a point of the window's client area.
int ScreenPointVerb(const Args& args) {
  long long x = 0;
  long long y = 0;
  if (!ParseNumber(args[1], &x) || !ParseNumber(args[2], &y)) return kUsage;
  HWND window = RequireWindow(args);
  if (window == nullptr) return kNotFound;
  POINT at{static_cast<LONG>(x), static_cast<LONG>(y)};
  ClientToScreen(window, &at);
  PrintLine(std::to_string(at.x) + " " + std::to_string(at.y));
  return kOk;
}

}  // namespace driver
