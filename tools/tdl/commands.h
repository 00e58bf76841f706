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
int RunWatchCommand(std::span<const std::string_view> args);
int RunFetchCommand(std::span<const std::string_view> args);
int RunPublishCommand(std::span<const std::string_view> args);
int RunUnpackCommand(std::span<const std::string_view> args);
int RunKeygenCommand(std::span<const std::string_view> args);
int RunVerifyCommand(std::span<const std::string_view> args);

// Usage texts, for --help and for usage errors.
extern const char kSearchUsage[];
extern const char kIndexUsage[];
extern const char kWatchUsage[];
extern const char kFetchUsage[];
extern const char kPublishUsage[];
extern const char kUnpackUsage[];
extern const char kKeygenUsage[];
extern const char kVerifyUsage[];

// Flushes standard output; false, with a message on standard error that starts with
// `command`, when any write to it failed (a full disk, a closed pipe).
bool FinishStandardOutput(const char* command);

}  // namespace tandrel::tdl
