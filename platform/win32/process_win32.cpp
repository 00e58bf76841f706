// Starting programs, the process's own message box, and the running mark on Windows.
#include <windows.h>
#include <shellapi.h>

#include <vector>

#include "platform/platform.h"
#include "platform/process.h"
#include "platform/win32/folder_names.h"
#include "platform/win32/handles.h"

namespace tandrel::platform {
namespace {

constexpr char kRunningPrefix[] = "Tandrel-Running-";

const char* FolderOrNull(const std::string& folder) {
  return folder.empty() ? nullptr : folder.c_str();
}

}  // namespace

bool StartCommandLine(const std::string& command_line, const std::string& working_folder) {
  std::vector<char> command(command_line.begin(), command_line.end());  // CreateProcessA may write into it
  command.push_back('\0');
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        FolderOrNull(working_folder), &startup, &process)) {
    return false;
  }
  // The program runs on; nobody waits for it.
  win32::OwnedHandle thread(process.hThread);
  win32::OwnedHandle started(process.hProcess);
  return true;
}

bool StartProgram(const std::string& program, std::string_view arguments,
                  const std::string& working_folder) {
  return StartCommandLine(ProgramCommandLine(program, arguments), working_folder);
}

bool OpenWithShell(const std::string& file, std::string_view arguments,
                   const std::string& working_folder) {
  const std::string parameters(arguments);
  SHELLEXECUTEINFOA info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_FLAG_NO_UI;  // a failure shows nothing
  info.lpFile = file.c_str();
  info.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
  info.lpDirectory = FolderOrNull(working_folder);
  info.nShow = SW_SHOWNORMAL;
  return ::ShellExecuteExA(&info) != FALSE;
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

bool RunningMark::Hold(const std::string& folder) {
  Release();
  HANDLE mutex = TakeFolderMutex(kRunningPrefix, folder);
  if (mutex == nullptr) return false;
  handle_ = reinterpret_cast<std::intptr_t>(mutex);
  return true;
}

void RunningMark::Release() {
  if (handle_ == kNoHandle) return;
  GiveUpFolderMutex(reinterpret_cast<HANDLE>(handle_));
  handle_ = kNoHandle;
}

bool WaitUntilNotRunning(const std::string& folder, std::uint32_t timeout_ms) {
  HANDLE mutex = OpenFolderMutex(kRunningPrefix, folder);
  if (mutex == nullptr) return true;  // nobody has made it, or everybody has ended
  // An abandoned mutex was held by a process that has ended.
  const DWORD waited = ::WaitForSingleObject(mutex, timeout_ms);
  const bool ended = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
  if (ended) ::ReleaseMutex(mutex);
  ::CloseHandle(mutex);
  return ended;
}

}  // namespace tandrel::platform
