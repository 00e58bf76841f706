// The Run key of the local machine, read as the system reads it at logon.
#include "verbs.h"

#include <vector>

namespace driver {
namespace {

inline constexpr char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

}  // namespace

// Prints the value's type and stored length in bytes, a tab and its text; exit 1 when
// the value (or the key) is missing.
int RunValueVerb(const Args& args) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return kNotFound;
  DWORD type = 0;
  DWORD size = 0;
  LONG result = RegQueryValueExA(key, args[0].c_str(), nullptr, &type, nullptr, &size);
  std::vector<char> data(size + 1, '\0');
  if (result == ERROR_SUCCESS) {
    result = RegQueryValueExA(key, args[0].c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
  }
  RegCloseKey(key);
  if (result != ERROR_SUCCESS) return kNotFound;
  std::size_t length = 0;
  while (length < size && data[length] != '\0') ++length;
  PrintLine(std::to_string(type) + " " + std::to_string(size) + "\t" + std::string(data.data(), length));
  return kOk;
}

}  // namespace driver
