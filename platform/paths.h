// Well-known paths and the process: the path separator, the temporary and the program's
// folder, the current folder, the standard streams and the end of the process.
#pragma once

#include <string>
#include <string_view>

namespace tandrel::platform {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// The user's temporary folder in its long form, ending with the path separator.
std::string TemporaryFolder();
// The full path of the running executable.
std::string ProgramPath();
// The folder part of `path`: cut after its last "\" or "/", empty without either.
std::string FolderOfPath(std::string_view path);
// FolderOfPath(ProgramPath()).
std::string ProgramFolder();
bool SetCurrentFolder(const std::string& path);
// Standard output passes bytes through unchanged (no LF to CR LF on Windows).
void UseBinaryStandardOutput();
// True when standard error goes to a terminal (a console on Windows).
bool StandardErrorIsTerminal();
// Ends the process at once: no destructors run, and running threads end with it.
[[noreturn]] void EndProcess(int code);

}  // namespace tandrel::platform
