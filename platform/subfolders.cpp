// Sub-folder names in display order, for the folder tree.
#include <algorithm>

#include "platform/platform.h"

namespace tandrel::platform {

std::vector<std::string> ListSubfolders(const std::string& folder) {
  std::vector<std::string> names;
  FolderListing listing(folder);
  for (FolderEntry entry; listing.Next(entry);) {
    if (!entry.is_folder || entry.name == "." || entry.name == "..") continue;
    names.push_back(std::move(entry.name));
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    const int order = CompareNamesForDisplay(a, b);
    return order != 0 ? order < 0 : a < b;  // names equal but for case: a fixed order
  });
  return names;
}

}  // namespace tandrel::platform
