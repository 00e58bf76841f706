#include "driver.h"
// After windows.h, which driver.h brings in: tlhelp32.h relies on its types.
#include <tlhelp32.h>

#include <cstring>

#include "menu_probe.h"
#include "menus.h"
#include "remote_buffer.h"

namespace driver {
namespace {

inline constexpr UINT kGetPopupMenuHandle = 0x01E1;  // MN_GETHMENU
inline constexpr DWORD kRemoteThreadTimeoutMs = 10000;

std::string ProbeDllPath() {
  char path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  std::string result(path, length);
  const std::size_t slash = result.find_last_of("\\/");
  result.resize(slash == std::string::npos ? 0 : slash + 1);
  return result + kMenuProbeDllName;
}

bool RunRemoteThread(HANDLE process, void* start, void* parameter, DWORD* exit_code) {
  HANDLE thread = CreateRemoteThread(process, nullptr, 0,
                                     reinterpret_cast<LPTHREAD_START_ROUTINE>(start),
                                     parameter, 0, nullptr);
  if (thread == nullptr) return false;
  const bool finished = WaitForSingleObject(thread, kRemoteThreadTimeoutMs) == WAIT_OBJECT_0;
  if (finished) GetExitCodeThread(thread, exit_code);
  CloseHandle(thread);
  return finished;
}

// Where the probe DLL sits in the target; the thread exit code of LoadLibraryA holds only
// the low half of a 64-bit module address, so the module list tells instead.
char* RemoteModuleBase(DWORD pid) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
  if (snapshot == INVALID_HANDLE_VALUE) return nullptr;
  MODULEENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  char* base = nullptr;
  for (BOOL more = Module32First(snapshot, &entry); more; more = Module32Next(snapshot, &entry)) {
    if (lstrcmpiA(entry.szModule, kMenuProbeDllName) == 0) {
      base = reinterpret_cast<char*>(entry.modBaseAddr);
      break;
    }
  }
  CloseHandle(snapshot);
  return base;
}

bool LoadProbeInto(HWND owner, const std::string& dll_path) {
  RemoteBuffer path(owner, dll_path.size() + 1);
  if (!path.Write(0, dll_path.c_str(), dll_path.size() + 1)) return false;
  // kernel32 sits at the same address in every process of the prefix.
  void* load_library =
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "LoadLibraryA"));
  DWORD loaded = 0;
  return RunRemoteThread(path.process(), load_library, path.address(), &loaded) && loaded != 0;
}

void* RemoteEntryPoint(HWND owner, const std::string& dll_path, const char* name) {
  HMODULE local = LoadLibraryA(dll_path.c_str());
  if (local == nullptr) return nullptr;
  char* local_entry = reinterpret_cast<char*>(GetProcAddress(local, name));
  DWORD pid = 0;
  GetWindowThreadProcessId(owner, &pid);
  char* remote_base = RemoteModuleBase(pid);
  if (remote_base == nullptr && LoadProbeInto(owner, dll_path)) remote_base = RemoteModuleBase(pid);
  if (local_entry == nullptr || remote_base == nullptr) return nullptr;
  return remote_base + (local_entry - reinterpret_cast<char*>(local));
}

int DescribeMenuOf(HWND owner, HMENU menu) {
  if (menu == nullptr) {
    PrintError("the window has no menu");
    return kNotFound;
  }
  RemoteBuffer block(owner, sizeof(MenuProbeBlock));
  if (!block.Write(0, &menu, sizeof menu) || !RunInProbe(owner, kMenuProbeEntry, block)) {
    PrintError("reading the menu failed");
    return kNotFound;
  }
  static MenuProbeBlock copy;
  if (!block.Read(0, &copy, sizeof copy)) return kNotFound;
  const unsigned length = copy.length < kMenuProbeTextSize ? copy.length : kMenuProbeTextSize - 1;
  std::string text(copy.text, length);
  if (!text.empty() && text.back() == '\n') text.pop_back();
  PrintLine(text);
  return kOk;
}

}  // namespace

bool RunInProbe(HWND owner, const char* entry_name, const RemoteBuffer& block) {
  const std::string dll_path = ProbeDllPath();
  void* entry = RemoteEntryPoint(owner, dll_path, entry_name);
  if (entry == nullptr) {
    PrintError("cannot load " + dll_path + " into the target");
    return false;
  }
  DWORD result = 1;
  return RunRemoteThread(block.process(), entry, block.address(), &result) && result == 0;
}

int MenuItemsVerb(const Args& args) {
  HWND window = RequireWindow(args);
  if (window == nullptr) return kNotFound;
  return DescribeMenuOf(window, GetMenu(window));
}

int PopupItemsVerb(const Args& args) {
  unsigned timeout_ms = 0;
  if (!ParseTimeout(args, 0, &timeout_ms)) return kUsage;
  HWND popup = nullptr;
  PollUntil(timeout_ms, [&] { return (popup = FindVisibleWindowOfClass("#32768")) != nullptr; });
  if (popup == nullptr) {
    PrintError("no popup menu open");
    return kNotFound;
  }
  HMENU menu = reinterpret_cast<HMENU>(SendMessageA(popup, kGetPopupMenuHandle, 0, 0));
  return DescribeMenuOf(popup, menu);
}

int ClosePopupVerb(const Args& args) {
  unsigned timeout_ms = 0;
  if (!ParseTimeout(args, 0, &timeout_ms)) return kUsage;
  HWND popup = FindVisibleWindowOfClass("#32768");
  if (popup == nullptr) {
    PrintError("no popup menu open");
    return kNotFound;
  }
  // The menu loop of the owning thread reads keys posted to any of its windows.
  PostMessageA(popup, WM_KEYDOWN, VK_ESCAPE, 1);
  PostMessageA(popup, WM_KEYUP, VK_ESCAPE, static_cast<LPARAM>(0xC0000001u));
  const bool gone = PollUntil(timeout_ms, [] { return FindVisibleWindowOfClass("#32768") == nullptr; });
  return gone ? kOk : kNotFound;
}

}  // namespace driver
