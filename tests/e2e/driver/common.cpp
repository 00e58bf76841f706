#include <cstdio>
#include <cstdlib>

#include "driver.h"

namespace driver {

bool ParseNumber(const std::string& text, long long* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  const long long parsed = std::strtoll(text.c_str(), &end, 0);
  if (end == nullptr || *end != '\0') return false;
  *value = parsed;
  return true;
}

bool ParseTimeout(const Args& args, std::size_t index, unsigned* timeout_ms) {
  *timeout_ms = kDefaultTimeoutMs;
  if (args.size() <= index) return true;
  long long value = 0;
  if (!ParseNumber(args[index], &value) || value < 0 || value > 3600000) return false;
  *timeout_ms = static_cast<unsigned>(value);
  return true;
}

void PrintLine(const std::string& bytes) {
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void PrintError(const std::string& message) {
  std::fprintf(stderr, "tandrel_driver: %s\n", message.c_str());
  std::fflush(stderr);
}

bool SendWithTimeout(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result) {
  DWORD_PTR value = 0;
  if (SendMessageTimeoutA(window, message, wparam, lparam, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                          &value) == 0) {
    PrintError("the window did not answer");
    return false;
  }
  *result = static_cast<LRESULT>(value);
  return true;
}

std::string WindowText(HWND window) {
  // WM_GETTEXT is one of the messages the system copies between processes.
  char text[1024] = {};
  const int length = GetWindowTextA(window, text, static_cast<int>(sizeof text));
  return std::string(text, length > 0 ? static_cast<std::size_t>(length) : 0);
}

std::string ClassName(HWND window) {
  char name[256] = {};
  const int length = GetClassNameA(window, name, static_cast<int>(sizeof name));
  return std::string(name, length > 0 ? static_cast<std::size_t>(length) : 0);
}

}  // namespace driver
