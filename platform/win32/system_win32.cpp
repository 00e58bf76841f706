// Paths, clock and sleeping on Windows, through the ANSI functions.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <cstdio>

#include <vector>

#include "platform/platform.h"

namespace tandrel::platform {
namespace {

std::string LongPathOf(const std::string& path) {
  std::vector<char> buffer(MAX_PATH + 1);
  for (;;) {
    const DWORD n = ::GetLongPathNameA(path.c_str(), buffer.data(),
                                       static_cast<DWORD>(buffer.size()));
    if (n == 0) return path;  // no such folder yet: keep the short form
    if (n < buffer.size()) return std::string(buffer.data(), n);
    buffer.resize(n + 1);
  }
}

}  // namespace

std::string TemporaryFolder() {
  std::vector<char> buffer(MAX_PATH + 1);
  DWORD n = ::GetTempPathA(static_cast<DWORD>(buffer.size()), buffer.data());
  if (n >= buffer.size()) {
    buffer.resize(n + 1);
    n = ::GetTempPathA(static_cast<DWORD>(buffer.size()), buffer.data());
  }
  if (n == 0 || n >= buffer.size()) return {};
  std::string folder = LongPathOf(std::string(buffer.data(), n));
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  return folder;
}

std::string ProgramPath() {
  std::vector<char> buffer(MAX_PATH + 1);
  for (;;) {
    const DWORD n = ::GetModuleFileNameA(nullptr, buffer.data(),
                                         static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    // A full buffer means the path may have been cut.
    if (n < buffer.size() - 1) return std::string(buffer.data(), n);
    buffer.resize(buffer.size() * 2);
  }
}

bool SetCurrentFolder(const std::string& path) {
  return ::SetCurrentDirectoryA(path.c_str()) != 0;
}

void UseBinaryStandardOutput() { _setmode(_fileno(stdout), _O_BINARY); }

bool StandardErrorIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

std::uint32_t TickCount() { return ::GetTickCount(); }

void Sleep(std::uint32_t milliseconds) { ::Sleep(milliseconds); }

void EndProcess(int code) { ::ExitProcess(static_cast<UINT>(code)); }

void LoadLibrariesFromSystemFolderOnly() {
  // Only a Windows 7 without its 2011 loader update lacks this; it keeps the old order,
  // and the program runs on as before.
  ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

int CompareNamesForDisplay(std::string_view a, std::string_view b) {
  const int result = ::CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()),
                                      b.data(), static_cast<int>(b.size()));
  if (result == 0) return a.compare(b);  // the system refused: bytes decide
  return result - CSTR_EQUAL;
}

}  // namespace tandrel::platform
