// Path helpers that are the same on every system.
#include "platform/platform.h"

namespace tandrel::platform {

std::string ProgramFolder() {
  const std::string path = ProgramPath();
  const std::size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

}  // namespace tandrel::platform
