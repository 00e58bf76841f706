// The commands of tdl. Each takes the arguments after the command's name and returns
// the process exit status.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace tandrel::tdl {

inline constexpr int kExitUsage = 2;

int RunSearchCommand(std::span<const std::string_view> args);
int RunIndexCommand(std::span<const std::string_view> args);
int RunFetchCommand(std::span<const std::string_view> args);

// Usage texts, for --help and for usage errors.
extern const char kSearchUsage[];
extern const char kIndexUsage[];
extern const char kFetchUsage[];

// The default path of a file that lies beside the executable.
std::string BesideProgram(std::string_view name);

}  // namespace tandrel::tdl
