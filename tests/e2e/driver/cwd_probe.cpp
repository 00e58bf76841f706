// A program that the end-to-end tests index and open as a hit: it writes the folder it
// was started in to a file beside itself (its own path with ".cwd" appended) and ends.
#include <windows.h>

int main() {
  char own[MAX_PATH + 1] = {};
  char folder[MAX_PATH + 1] = {};
  const DWORD own_length = GetModuleFileNameA(nullptr, own, MAX_PATH);
  const DWORD folder_length = GetCurrentDirectoryA(MAX_PATH, folder);
  if (own_length == 0 || own_length + 4 > MAX_PATH || folder_length == 0 || folder_length > MAX_PATH) return 1;
  lstrcatA(own, ".cwd");
  HANDLE file = CreateFileA(own, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  WriteFile(file, folder, folder_length, &written, nullptr);
  CloseHandle(file);
  return 0;
}
