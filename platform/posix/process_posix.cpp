// Starting programs on POSIX systems.
#include <spawn.h>

#include <vector>

#include "platform/process.h"

extern char** environ;

namespace tandrel::platform {

bool StartProgram(const std::string& program, std::string_view arguments,
                  const std::string& working_folder) {
  std::string argument(arguments);
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  if (!argument.empty()) argv.push_back(argument.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  if (::posix_spawn_file_actions_init(&actions) != 0) return false;
  if (!working_folder.empty()) ::posix_spawn_file_actions_addchdir_np(&actions, working_folder.c_str());
  pid_t child = 0;
  const int failed = ::posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
  ::posix_spawn_file_actions_destroy(&actions);
  return failed == 0;
}

bool OpenWithShell(const std::string&, std::string_view, const std::string&) { return false; }

}  // namespace tandrel::platform
