// The command line that tdl index and tdl watch share: the index file, and the folders
// given or the settings file whose folder list is meant.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tandrel::tdl {

struct FolderArgs {
  std::string db;
  std::string settings;  // empty when folders are given
  std::vector<std::string> folders;
  bool help = false;
};

// Parses `args` of the command `command` ("tdl index"); the files default to db.db and
// settings.conf beside tdl. False after a fault, which is on standard error with `usage`.
bool ParseFolderArgs(std::span<const std::string_view> args, std::string_view command, const char* usage,
                     FolderArgs& out);

// The folder list of a settings file, as stored; false when the file cannot be read.
bool ReadFolderList(const std::string& path, std::vector<std::string>& folders);

}  // namespace tandrel::tdl
