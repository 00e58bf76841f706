// Paths, clock and sleeping on Windows; paths asked for in UTF-16 and kept in their
// stored form.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <cstdio>

#include <vector>

#include "platform/platform.h"
#include "platform/win32/wide_paths.h"

namespace tandrel::platform {
namespace {

// The system's long form of `path`, or `path` when it has none (no such folder yet).
std::wstring LongPathOf(const std::wstring& path) {
  std::vector<wchar_t> buffer(MAX_PATH + 1);
  for (;;) {
    const DWORD n = ::GetLongPathNameW(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return path;
    if (n < buffer.size()) return std::wstring(buffer.data(), n);
    buffer.resize(n + 1);
  }
}

}  // namespace

// Asked in UTF-16: the ANSI answer would hold look-alikes for the characters the code page
// cannot hold, and name a folder that is not the user's.
std::string TemporaryFolder() {
  std::vector<wchar_t> buffer(MAX_PATH + 1);
  DWORD n = ::GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
  if (n >= buffer.size()) {
    buffer.resize(n + 1);
    n = ::GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
  }
  if (n == 0 || n >= buffer.size()) return {};
  std::string folder = win32::StoredSystemPathOf(LongPathOf(std::wstring(buffer.data(), n)));
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  return folder;
}

std::string ProgramPath() {
  std::vector<wchar_t> buffer(MAX_PATH + 1);
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    // A full buffer means the path may have been cut.
    if (n < buffer.size() - 1) return win32::StoredSystemPathOf(std::wstring(buffer.data(), n));
    buffer.resize(buffer.size() * 2);
  }
}

bool SetCurrentFolder(const std::string& path) {
  const std::optional<std::wstring> real = win32::WidePathOf(path);
  return real && ::SetCurrentDirectoryW(real->c_str()) != 0;
}

void UseBinaryStandardOutput() { _setmode(_fileno(stdout), _O_BINARY); }

bool StandardErrorIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

std::uint32_t TickCount() { return ::GetTickCount(); }

void Sleep(std::uint32_t milliseconds) { ::Sleep(milliseconds); }

void EndProcess(int code) { ::ExitProcess(static_cast<UINT>(code)); }

void HoldEndRequests() {}

void WaitForEndRequest() { ::Sleep(INFINITE); }

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
