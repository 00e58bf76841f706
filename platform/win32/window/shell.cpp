// The shell for the result actions: starting programs, the default action for a path,
// folder windows with items selected, and the Yes/No question before opening many.
#include "platform/win32/win32_ui.h"
// After windows.h: it relies on its types.
#include <shellapi.h>

namespace tandrel::ui {
namespace {

// Process and thread handles of a started program: it runs on, nobody waits for it.
class StartedProcess {
 public:
  StartedProcess() = default;
  ~StartedProcess() {
    if (info.hThread != nullptr) CloseHandle(info.hThread);
    if (info.hProcess != nullptr) CloseHandle(info.hProcess);
  }
  StartedProcess(const StartedProcess&) = delete;
  StartedProcess& operator=(const StartedProcess&) = delete;

  PROCESS_INFORMATION info{};
};

const char* OrNull(const std::string& text) { return text.empty() ? nullptr : text.c_str(); }

}  // namespace

const Win32Ui::WindowData* Win32Ui::MainWindowData() const {
  for (const auto& [number, data] : windows_) {
    if (data.style == WindowStyle::kMain) return &data;
  }
  return nullptr;
}

HWND Win32Ui::MainHwnd() const {
  const WindowData* main = MainWindowData();
  return main == nullptr ? nullptr : main->hwnd;
}

bool Win32Ui::AskYesNo(std::string_view title, std::string_view text) {
  const std::string t(title);
  const std::string m(text);
  return MessageBoxA(MainHwnd(), m.c_str(), t.c_str(), MB_YESNO) == IDYES;
}

bool Win32Ui::StartProgram(const std::string& command_line, const std::string& working_folder) {
  std::string writable = command_line;  // CreateProcessA may write into its command line
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  StartedProcess started;
  return CreateProcessA(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr, OrNull(working_folder),
                        &startup, &started.info) != 0;
}

bool Win32Ui::OpenWithShell(const std::string& path, const std::string& parameters,
                            const std::string& working_folder) {
  SHELLEXECUTEINFOA info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_FLAG_NO_UI;  // a failure shows nothing
  info.hwnd = MainHwnd();
  info.lpVerb = nullptr;  // the default verb
  info.lpFile = path.c_str();
  info.lpParameters = OrNull(parameters);
  info.lpDirectory = OrNull(working_folder);
  info.nShow = SW_SHOWNORMAL;
  return ShellExecuteExA(&info) != 0;
}

bool Win32Ui::ShowInFolder(const std::string& folder, const std::vector<std::string>& names) {
  win32::OwnedIdList folder_list(ILCreateFromPathA(folder.c_str()));
  if (!folder_list) return false;
  std::vector<win32::OwnedIdList> items;
  std::vector<PCUITEMID_CHILD> children;
  for (const std::string& name : names) {
    win32::OwnedIdList item(ILCreateFromPathA((folder + name).c_str()));
    if (!item) continue;  // gone since the index was made
    children.push_back(ILFindLastID(item.get()));
    items.push_back(std::move(item));
  }
  if (children.empty()) return false;
  return SUCCEEDED(SHOpenFolderAndSelectItems(folder_list.get(), static_cast<UINT>(children.size()),
                                              children.data(), 0));
}

}  // namespace tandrel::ui
