// The file list that drag and drop and the clipboard hand out.
#include <cstring>

#include "platform/win32/wide_paths.h"
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
  header.fWide = TRUE;  // the real paths: names the code page cannot hold stay as they are
  std::wstring list;
  for (const std::wstring& path : RealPathsOf(paths)) {
    list += path;
    list += L'\0';
  }
  if (list.empty()) list += L'\0';  // an empty list still ends with two NULs
  list += L'\0';
  std::string block(reinterpret_cast<const char*>(&header), sizeof header);
  block.append(reinterpret_cast<const char*>(list.data()), list.size() * sizeof(wchar_t));
  return GlobalCopyOf(block);
}

std::vector<std::wstring> RealPathsOf(const std::vector<std::string>& paths) {
  std::vector<std::wstring> real;
  real.reserve(paths.size());
  for (const std::string& path : paths) {
    if (std::optional<std::wstring> found = WidePathOf(path)) real.push_back(std::move(*found));
  }
  return real;
}

UINT PreferredDropEffectFormat() { return RegisterClipboardFormatA("Preferred DropEffect"); }

}  // namespace tandrel::win32
