// The shell for the result actions: starting programs and the default action for a path
// (the process starts of platform/process.h), folder windows with items selected, and the
// Yes/No question before opening many.
#include "platform/process.h"
#include "platform/win32/wide_paths.h"
#include "platform/win32/window/win32_ui.h"

namespace tandrel::ui {

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

bool Win32Ui::StartCommandLine(const std::string& command_line, const std::string& working_folder) {
  return platform::StartCommandLine(command_line, working_folder);
}

bool Win32Ui::StartProgram(const std::string& program, std::string_view arguments,
                           const std::string& working_folder) {
  return platform::StartProgram(program, arguments, working_folder);
}

bool Win32Ui::OpenWithShell(const std::string& path, std::string_view parameters,
                            const std::string& working_folder) {
  return platform::OpenWithShell(path, parameters, working_folder);
}

bool Win32Ui::ShowInFolder(const std::string& folder, const std::vector<std::string>& names) {
  const std::optional<std::wstring> real_folder = win32::WidePathOf(folder);
  if (!real_folder) return false;
  win32::OwnedIdList folder_list(ILCreateFromPathW(real_folder->c_str()));
  if (!folder_list) return false;
  std::vector<win32::OwnedIdList> items;
  std::vector<PCUITEMID_CHILD> children;
  for (const std::string& name : names) {
    const std::optional<std::wstring> real = win32::WidePathOf(folder + name);
    if (!real) continue;  // not exactly one file of that stored name
    win32::OwnedIdList item(ILCreateFromPathW(real->c_str()));
    if (!item) continue;  // gone since the index was made
    children.push_back(ILFindLastID(item.get()));
    items.push_back(std::move(item));
  }
  if (children.empty()) return false;
  return SUCCEEDED(SHOpenFolderAndSelectItems(folder_list.get(), static_cast<UINT>(children.size()),
                                              children.data(), 0));
}

}  // namespace tandrel::ui
