// Names of system-wide objects that stand for a folder.
#pragma once

#include <string>
#include <string_view>

namespace tandrel::platform {

// `prefix` and a hash of the folder's full path, upper-cased, so that every spelling of
// one folder gives the same name.
std::string FolderObjectName(std::string_view prefix, const std::string& folder);

}  // namespace tandrel::platform
