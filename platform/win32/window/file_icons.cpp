// The system's small icons by extension and kind.
#include "platform/win32/window/file_icons.h"

#include <shellapi.h>

namespace tandrel::win32 {
namespace {

constexpr UINT kByAttributes = SHGFI_USEFILEATTRIBUTES | SHGFI_SYSICONINDEX | SHGFI_SMALLICON;

int LookUp(const char* name, DWORD attributes) {
  SHFILEINFOA info{};
  if (SHGetFileInfoA(name, attributes, &info, sizeof info, kByAttributes) == 0) return -1;
  return info.iIcon;
}

// The extension with its dot, folded to lower case as the shell's registrations are
// matched; empty for a name without one.
std::string ExtensionOf(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return {};
  std::string extension(name.substr(dot));
  CharLowerBuffA(extension.data(), static_cast<DWORD>(extension.size()));
  return extension;
}

}  // namespace

HIMAGELIST FileIcons::SmallImageList() {
  SHFILEINFOA info{};
  return reinterpret_cast<HIMAGELIST>(SHGetFileInfoA("file", FILE_ATTRIBUTE_NORMAL, &info, sizeof info, kByAttributes));
}

int FileIcons::IndexFor(std::string_view name, bool folder) {
  if (folder) {
    if (folder_index_ == -2) folder_index_ = LookUp("folder", FILE_ATTRIBUTE_DIRECTORY);
    return folder_index_;
  }
  const std::string extension = ExtensionOf(name);
  auto found = by_extension_.find(extension);
  if (found != by_extension_.end()) return found->second;
  const std::string probe = "file" + extension;
  const int index = LookUp(probe.c_str(), FILE_ATTRIBUTE_NORMAL);
  by_extension_.emplace(extension, index);
  return index;
}

}  // namespace tandrel::win32
