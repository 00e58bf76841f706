// The shell, for the result list's hits: starting programs, the default action for a
// path, folder windows with items selected, the folder requester, dragging and the
// clipboard. Main thread only. Paths are full stored paths (platform/paths.h); none of
// these reports a failure to the user, and a path that does not stand for exactly one
// file is left out.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/process.h"

namespace tandrel::ui {

class Shell {
 public:
  // Starts a program by its command line in `working_folder`; false when the system
  // refuses (for instance because the first word names no program).
  [[nodiscard]] virtual bool StartCommandLine(const std::string& command_line, const std::string& working_folder) = 0;
  // The shell's default action for `path` (a document's registered application, the
  // file browser for a folder), in a normal window.
  virtual bool OpenWithShell(const std::string& path, std::string_view parameters,
                             const std::string& working_folder) = 0;
  // Opens `folder` (ending with the path separator) in the file browser with the items
  // `names` inside it selected: one window for all of them.
  [[nodiscard]] virtual bool ShowInFolder(const std::string& folder, const std::vector<std::string>& names) = 0;
  // The system's folder requester, owned by the main window: the chosen folder's path,
  // an empty text for a chosen place that has no file-system path, none when cancelled.
  [[nodiscard]] virtual std::optional<std::string> ChooseFolder(std::string_view title) = 0;
  // Offers the files as a file list to drag and drop, for copying only; returns when the
  // drop (or its cancellation) is done.
  virtual void DragFiles(const std::vector<std::string>& paths) = 0;
  // Puts the files on the clipboard as a file list and as text, one path a line.
  virtual void PutFilesOnClipboard(const std::vector<std::string>& paths) = 0;
  // The shell's own context menu for the files (Open with, Send to, Properties...) at the
  // pointer, owned by the main window, and the command chosen from it carried out. The
  // shell's menu serves one folder: files in folders other than the first one's are left
  // out.
  virtual void ShowShellMenu(const std::vector<std::string>& paths) = 0;

  // What platform::StartOrOpen starts through this shell: `program` in double quotes, then
  // a space and `arguments` when there are any (platform::ProgramCommandLine); false
  // without a start when the program cannot be quoted. A window system whose names are not
  // all ANSI text starts the program by its real path instead.
  virtual bool StartProgram(const std::string& program, std::string_view arguments,
                            const std::string& working_folder) {
    const std::optional<std::string> line = platform::ProgramCommandLine(program, arguments);
    return line && StartCommandLine(*line, working_folder);
  }

 protected:
  ~Shell() = default;
};

}  // namespace tandrel::ui
