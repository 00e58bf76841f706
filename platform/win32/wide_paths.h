// Where names and paths pass between the program's ANSI text and the system's UTF-16: the
// stored form of what the system lists or reports (stored_names.h), and the system's
// real path behind a stored path. Every Windows call that takes a path goes through
// WidePathOf, so that no ANSI function ever maps a name "best fit" to a look-alike.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "platform/paths.h"

namespace tandrel::win32 {

// ANSI text as UTF-16, character for character.
std::wstring WideOf(std::string_view text);
// The stored form of one name the system listed: exact where the code page holds it,
// else "?" for each character it cannot hold.
std::string StoredNameOf(std::wstring_view name);
// The same for a path the system reported ("\", "/" and ":" kept).
std::string StoredPathOf(std::wstring_view path);
// A path the system reported, as the program keeps it: its stored form when exact, else
// its short (8.3) form where the volume has one and that is exact, else the stored form
// with "?" (which WidePathOf finds again).
std::string StoredSystemPathOf(const std::wstring& path);

struct ResolvedPath {
  platform::StoredPathMatch match = platform::StoredPathMatch::kNone;
  std::wstring path;  // the system's path when `match` is kOne
};
// The system's path behind a stored path: a name with "?" is looked up in its folder's
// listing and must match exactly one entry there.
ResolvedPath ResolveStoredPath(std::string_view path);
// The system's path when the stored path stands for exactly one; none otherwise.
std::optional<std::wstring> WidePathOf(std::string_view path);
// The path for a new file or folder `to` made from `model` (a resolved path): its folder
// is resolved; its last name, where it holds "?" and equals the stored form of the last
// name of `model`, becomes that real name, so that a copy keeps the name of its source.
std::optional<std::wstring> WidePathFor(std::string_view to, std::wstring_view model);

// The stored form of a found entry's name: cFileName up to its terminator.
std::string StoredNameOf(const WIN32_FIND_DATAW& found);
}  // namespace tandrel::win32
