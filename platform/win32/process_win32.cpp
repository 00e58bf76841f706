// Starting programs and the process's own message box on Windows.
#include <windows.h>
#include <shellapi.h>

#include <vector>

#include "platform/process.h"
#include "platform/win32/handles.h"
#include "platform/win32/wide_paths.h"

namespace tandrel::platform {
namespace {

// The working folder as the system knows it; none for an empty text (the current folder).
// False when a stored folder does not stand for exactly one.
bool RealFolder(const std::string& folder, std::optional<std::wstring>& real) {
  if (folder.empty()) return true;
  real = win32::WidePathOf(folder);
  return real.has_value();
}

const wchar_t* FolderOrNull(const std::optional<std::wstring>& folder) {
  return folder ? folder->c_str() : nullptr;
}

bool StartWideCommandLine(std::wstring command_line, const std::string& working_folder) {
  std::optional<std::wstring> folder;
  if (!RealFolder(working_folder, folder)) return false;
  command_line.push_back(L'\0');  // CreateProcessW may write into it
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, FolderOrNull(folder),
                        &startup, &process)) {
    return false;
  }
  // The program runs on; nobody waits for it.
  win32::OwnedHandle thread(process.hThread);
  win32::OwnedHandle started(process.hProcess);
  return true;
}

}  // namespace

bool StartCommandLine(const std::string& command_line, const std::string& working_folder) {
  return StartWideCommandLine(win32::WideOf(command_line), working_folder);
}

// The program by its real path, quoted in UTF-16: its name may hold what the code page
// cannot, and nothing in it can end its quotes.
bool StartProgram(const std::string& program, std::string_view arguments,
                  const std::string& working_folder) {
  const std::optional<std::wstring> real = win32::WidePathOf(program);
  if (!real) return false;
  std::optional<std::wstring> line = QuotedWord(std::wstring_view(*real));
  if (!line) return false;
  if (!arguments.empty()) *line += L" " + win32::WideOf(arguments);
  return StartWideCommandLine(std::move(*line), working_folder);
}

bool OpenWithShell(const std::string& file, std::string_view arguments,
                   const std::string& working_folder) {
  const std::optional<std::wstring> real = win32::WidePathOf(file);
  std::optional<std::wstring> folder;
  if (!real || real->find(L'"') != std::wstring::npos || !RealFolder(working_folder, folder)) return false;
  const std::wstring parameters = win32::WideOf(arguments);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_FLAG_NO_UI;  // a failure shows nothing
  info.lpFile = real->c_str();
  info.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
  info.lpDirectory = FolderOrNull(folder);
  info.nShow = SW_SHOWNORMAL;
  return ::ShellExecuteExW(&info) != FALSE;
}

void ShowProcessMessage(std::string_view title, std::string_view text) {
  const std::string t(title);
  const std::string m(text);
  HWND owner = ::GetForegroundWindow();
  DWORD owner_process = 0;
  if (owner != nullptr) ::GetWindowThreadProcessId(owner, &owner_process);
  if (owner_process != ::GetCurrentProcessId()) owner = nullptr;
  ::MessageBoxA(owner, m.c_str(), t.c_str(), MB_OK);
}

}  // namespace tandrel::platform
