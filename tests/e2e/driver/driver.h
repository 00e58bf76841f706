// Shared pieces of tandrel_driver: a console program that inspects and drives another
// program's windows from outside, in the same Wine prefix and X display.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

namespace driver {

// The exit codes the test suite tells apart.
inline constexpr int kOk = 0;
inline constexpr int kNotFound = 1;
inline constexpr int kUsage = 2;

inline constexpr unsigned kDefaultTimeoutMs = 10000;
inline constexpr UINT kSendTimeoutMs = 5000;

using Args = std::vector<std::string>;

// Accepts decimal and 0x-prefixed hexadecimal numbers, optionally negative.
bool ParseNumber(const std::string& text, long long* value);
// Reads an optional timeout argument at index; a missing one gives the default.
bool ParseTimeout(const Args& args, std::size_t index, unsigned* timeout_ms);

// Writes the bytes unchanged (no newline translation), then a line feed.
void PrintLine(const std::string& bytes);
void PrintError(const std::string& message);

// A top-level window of the program under test with exactly this title. Dialogs and menu
// popups are skipped: a message box may carry the main window's title.
HWND FindTopWindow(const std::string& title, bool visible_only);
HWND WaitTopWindow(const std::string& title, unsigned timeout_ms);
bool WaitTopWindowGone(const std::string& title, unsigned timeout_ms);
// The first visible top-level window of that class, or null.
HWND FindVisibleWindowOfClass(const char* class_name);

// Finds the window named by args[0] (hidden ones too), reporting a miss on stderr.
HWND RequireWindow(const Args& args);
// Finds the child control whose id is args[index]; id 0 stands for the window itself.
HWND RequireControl(HWND window, const Args& args, std::size_t index);

// A message to another process's window that cannot hang the driver forever.
bool SendWithTimeout(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result);

std::string WindowText(HWND window);
// The text of one field of a status bar in another process.
bool ReadStatusField(HWND bar, WPARAM field, std::string* text);
std::string ClassName(HWND window);

// Waits for a condition, checking it every few milliseconds until the time-out ends.
template <typename Condition>
bool PollUntil(unsigned timeout_ms, Condition condition) {
  const ULONGLONG deadline = GetTickCount64() + timeout_ms;
  for (;;) {
    if (condition()) return true;
    if (GetTickCount64() >= deadline) return false;
    Sleep(25);
  }
}

}  // namespace driver
