// Path helpers that are the same on every system.
#include "platform/platform.h"

namespace tandrel::platform {

std::string FolderOfPath(std::string_view path) {
  const std::size_t cut = path.find_last_of("\\/");
  return cut == std::string_view::npos ? std::string() : std::string(path.substr(0, cut + 1));
}

std::string ProgramFolder() { return FolderOfPath(ProgramPath()); }

}  // namespace tandrel::platform
