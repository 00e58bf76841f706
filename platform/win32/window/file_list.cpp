// The file list that drag and drop and the clipboard hand out.
#include <cstring>

#include "platform/win32/window/com.h"

namespace tandrel::win32 {

OwnedGlobal GlobalCopyOf(const std::string& bytes) {
  OwnedGlobal memory(GlobalAlloc(GMEM_MOVEABLE, bytes.size()));
  if (!memory) return memory;
  void* at = GlobalLock(memory.get());
  if (at == nullptr) return OwnedGlobal();
  std::memcpy(at, bytes.data(), bytes.size());
  GlobalUnlock(memory.get());
  return memory;
}

OwnedGlobal FileDropOf(const std::vector<std::string>& paths) {
  DROPFILES header{};
  header.pFiles = sizeof header;
  header.fWide = FALSE;
  std::string block(reinterpret_cast<const char*>(&header), sizeof header);
  for (const std::string& path : paths) {
    block += path;
    block += '\0';
  }
  block += '\0';
  if (paths.empty()) block += '\0';  // an empty list still ends with two NULs
  return GlobalCopyOf(block);
}

UINT PreferredDropEffectFormat() { return RegisterClipboardFormatA("Preferred DropEffect"); }

}  // namespace tandrel::win32
