// A program that the end-to-end tests index and open as a hit: it writes the folder it
// was started in, in UTF-8, to a file beside itself (its own path with ".cwd" appended)
// and ends. Wide functions throughout: its own name may hold what the ANSI code page
// cannot.
#include <windows.h>

int main() {
  wchar_t own[MAX_PATH + 1] = {};
  wchar_t folder[MAX_PATH + 1] = {};
  const DWORD own_length = GetModuleFileNameW(nullptr, own, MAX_PATH);
  const DWORD folder_length = GetCurrentDirectoryW(MAX_PATH, folder);
  if (own_length == 0 || own_length + 4 > MAX_PATH || folder_length == 0 || folder_length > MAX_PATH) return 1;
  lstrcatW(own, L".cwd");
  char utf8[4 * MAX_PATH + 1] = {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, folder, static_cast<int>(folder_length), utf8,
                                       static_cast<int>(sizeof utf8) - 1, nullptr, nullptr);
  if (size <= 0) return 1;
  HANDLE file = CreateFileW(own, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  WriteFile(file, utf8, static_cast<DWORD>(size), &written, nullptr);
  CloseHandle(file);
  return 0;
}
