// Starting other programs, and telling whether the program of a folder still runs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace tandrel::platform {

// The command line that starts `program`: the program in double quotes (so that spaces
// in its path hold), then a space and `arguments` when there are any.
std::string ProgramCommandLine(const std::string& program, std::string_view arguments);
// Starts `program` with ProgramCommandLine. It runs in `working_folder`, or in the
// current folder when that is empty, and is not waited for. False when the system
// refuses the start.
[[nodiscard]] bool StartProgram(const std::string& program, std::string_view arguments,
                                const std::string& working_folder);
// Hands `file` to the shell's default open action, which shows nothing when it fails
// (Windows only; false elsewhere).
bool OpenWithShell(const std::string& file, std::string_view arguments, const std::string& working_folder);
#ifdef _WIN32
// Starts a whole command line as the system splits it (its first word names the program).
[[nodiscard]] bool StartCommandLine(const std::string& command_line, const std::string& working_folder);
#endif

// The one rule for a path that may name a program or a document: started as a program
// when the system can, else handed to the shell's default action. `starter` does the two
// steps with the calls above (StartProgram, OpenWithShell); a window layer's shell or a
// test's stand-in does them its own way. False when neither step worked, which most
// callers leave unreported.
template <class Starter>
bool StartOrOpen(Starter& starter, const std::string& program, std::string_view arguments,
                 const std::string& working_folder) {
  if (starter.StartProgram(program, arguments, working_folder)) return true;
  return starter.OpenWithShell(program, arguments, working_folder);
}
// StartOrOpen with the system's own StartProgram and OpenWithShell.
bool StartOrOpen(const std::string& program, std::string_view arguments, const std::string& working_folder);

#ifdef _WIN32
// A plain message box with an OK button and no icon, owned by the foreground window when
// that belongs to this process, else by none; returns when the user closed it.
void ShowProcessMessage(std::string_view title, std::string_view text);
#endif

// Held by the main program of a folder from its start to its end (Windows: a named
// mutex per folder and user like FolderClaim's, which the system lets go when the process
// ends, however it ends; POSIX: a flock on a file of the user's in the temporary folder).
class RunningMark {
 public:
  RunningMark() = default;
  ~RunningMark() { Release(); }
  RunningMark(const RunningMark&) = delete;
  RunningMark& operator=(const RunningMark&) = delete;

  bool Hold(const std::string& folder);
  void Release();

 private:
  static constexpr std::intptr_t kNoHandle = -1;
  std::intptr_t handle_ = kNoHandle;
};

// True once nobody holds the RunningMark of `folder`, waiting at most `timeout_ms`.
bool WaitUntilNotRunning(const std::string& folder, std::uint32_t timeout_ms);

}  // namespace tandrel::platform
