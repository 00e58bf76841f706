// watch-status: follows one status field closely, so that texts a program shows for a
// fraction of a second are seen, which one driver start per reading would miss.
#include "verbs.h"
// After windows.h: commctrl.h relies on its types.
#include <commctrl.h>

namespace driver {

// Prints every text the field shows, each once when it appears, until one starts with
// the prefix (exit 0) or the time is up (exit 1).
int WatchStatusVerb(const Args& args) {
  long long field = 0;
  long long timeout = 0;
  if (!ParseNumber(args[1], &field) || field < 0 || field > 255) return kUsage;
  if (!ParseNumber(args[2], &timeout) || timeout < 0) return kUsage;
  HWND window = RequireWindow(args);
  if (window == nullptr) return kNotFound;
  HWND bar = FindWindowExA(window, nullptr, STATUSCLASSNAMEA, nullptr);
  if (bar == nullptr) return kNotFound;
  const std::string& until = args[3];
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeout);
  std::string last;
  bool first = true;
  for (;;) {
    std::string text;
    if (!ReadStatusField(bar, static_cast<WPARAM>(field), &text)) return kNotFound;
    if (first || text != last) {
      PrintLine(text);
      last = text;
      first = false;
      if (text.compare(0, until.size(), until) == 0) return kOk;
    }
    if (GetTickCount64() >= deadline) return kNotFound;
    Sleep(1);
  }
}

}  // namespace driver
