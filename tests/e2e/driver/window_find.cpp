#include "driver.h"

namespace driver {
namespace {

struct TitleSearch {
  const std::string* title;
  bool visible_only;
  HWND found;
};

bool IsDialogOrMenu(HWND window) {
  const std::string name = ClassName(window);
  return name == "#32770" || name == "#32768";
}

BOOL CALLBACK MatchTitle(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<TitleSearch*>(context);
  if (search->visible_only && !IsWindowVisible(window)) return TRUE;
  if (WindowText(window) != *search->title || IsDialogOrMenu(window)) return TRUE;
  search->found = window;
  return FALSE;
}

struct ClassSearch {
  const char* class_name;
  HWND found;
};

BOOL CALLBACK MatchClass(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<ClassSearch*>(context);
  if (!IsWindowVisible(window) || ClassName(window) != search->class_name) return TRUE;
  search->found = window;
  return FALSE;
}

}  // namespace

HWND FindTopWindow(const std::string& title, bool visible_only) {
  TitleSearch search{&title, true, nullptr};
  EnumWindows(MatchTitle, reinterpret_cast<LPARAM>(&search));
  if (search.found != nullptr || visible_only) return search.found;
  // A visible match wins, so a hidden helper window of the same title cannot shadow it.
  search.visible_only = false;
  EnumWindows(MatchTitle, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND WaitTopWindow(const std::string& title, unsigned timeout_ms) {
  HWND found = nullptr;
  PollUntil(timeout_ms, [&] { return (found = FindTopWindow(title, true)) != nullptr; });
  return found;
}

bool WaitTopWindowGone(const std::string& title, unsigned timeout_ms) {
  return PollUntil(timeout_ms, [&] { return FindTopWindow(title, true) == nullptr; });
}

HWND FindVisibleWindowOfClass(const char* class_name) {
  ClassSearch search{class_name, nullptr};
  EnumWindows(MatchClass, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND RequireWindow(const Args& args) {
  HWND window = FindTopWindow(args[0], false);
  if (window == nullptr) PrintError("no window titled \"" + args[0] + "\"");
  return window;
}

HWND RequireControl(HWND window, const Args& args, std::size_t index) {
  long long id = 0;
  if (!ParseNumber(args[index], &id)) {
    PrintError("bad control id " + args[index]);
    return nullptr;
  }
  if (id == 0) return window;
  HWND control = GetDlgItem(window, static_cast<int>(id));
  if (control == nullptr) PrintError("no control with id " + args[index]);
  return control;
}

}  // namespace driver
