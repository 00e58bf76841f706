// Starting programs: what is the same on every system.
#include "platform/process.h"

namespace tandrel::platform {
namespace {

// The system's own starts, for StartOrOpen.
struct SystemStarter {
  bool StartProgram(const std::string& program, std::string_view arguments, const std::string& working_folder) {
    return platform::StartProgram(program, arguments, working_folder);
  }
  bool OpenWithShell(const std::string& file, std::string_view arguments, const std::string& working_folder) {
    return platform::OpenWithShell(file, arguments, working_folder);
  }
};

}  // namespace

std::optional<std::string> ProgramCommandLine(const std::string& program, std::string_view arguments) {
  std::optional<std::string> line = QuotedWord(std::string_view(program));
  if (line && !arguments.empty()) *line += " " + std::string(arguments);
  return line;
}

bool StartOrOpen(const std::string& program, std::string_view arguments, const std::string& working_folder) {
  SystemStarter system;
  return StartOrOpen(system, program, arguments, working_folder);
}

}  // namespace tandrel::platform
