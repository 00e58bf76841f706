// Starting other programs.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace tandrel::platform {

// One word of a command line in double quotes, so that the system splits it back as it
// was: backslashes right before the closing quote are doubled (an odd number would escape
// it). None when the word holds a quotation mark or a NUL, which no file name on Windows
// holds: such a word could leave its quotes and hand the rest of it to the system as
// words of its own (a name 'x" y.txt' would start the program x).
template <class Char>
std::optional<std::basic_string<Char>> QuotedWord(std::basic_string_view<Char> word) {
  for (const Char c : word) {
    if (c == Char('"') || c == Char(0)) return std::nullopt;
  }
  std::basic_string<Char> quoted(1, Char('"'));
  quoted += word;
  std::size_t trailing = 0;
  while (trailing < word.size() && word[word.size() - 1 - trailing] == Char('\\')) ++trailing;
  quoted.append(trailing, Char('\\'));
  quoted += Char('"');
  return quoted;
}

// The command line that starts `program`: the program as a QuotedWord (so that spaces in
// its path hold), then a space and `arguments` when there are any. None when the program
// cannot be quoted.
std::optional<std::string> ProgramCommandLine(const std::string& program, std::string_view arguments);
// Starts `program` with ProgramCommandLine. It runs in `working_folder`, or in the
// current folder when that is empty, and is not waited for. False when the system
// refuses the start, and when the program or the folder is a stored path that does not
// stand for exactly one (paths.h): then nothing is started.
[[nodiscard]] bool StartProgram(const std::string& program, std::string_view arguments,
                                const std::string& working_folder);
// Hands `file` to the shell's default open action, which shows nothing when it fails
// (Windows only; false elsewhere). Refused like StartProgram for a stored path that does
// not stand for exactly one, and for a file with a quotation mark.
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

}  // namespace tandrel::platform
