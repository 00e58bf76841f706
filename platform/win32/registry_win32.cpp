// Registry values on Windows: RegCreateKeyExA, RegSetValueExA, RegDeleteValueA.
#include <windows.h>

#include <vector>

#include "platform/registry.h"
#include "platform/win32/handles.h"

namespace tandrel::platform {
namespace {

HKEY RootKey(RegistryRoot root) { return root == RegistryRoot::kMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }

std::optional<std::string> QueryString(HKEY key, const std::string& name) {
  DWORD type = 0;
  DWORD size = 0;
  if (::RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ) {
    return std::nullopt;
  }
  std::vector<char> data(size + 1, '\0');
  if (::RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  // The stored bytes may or may not end with the zero; the text ends at the first one.
  std::size_t length = 0;
  while (length < size && data[length] != '\0') ++length;
  return std::string(data.data(), length);
}

}  // namespace

struct RegistryKey::State {
  win32::OwnedRegistryKey key;
};

RegistryKey::RegistryKey(RegistryRoot root, const std::string& path) {
  HKEY key = nullptr;
  if (::RegCreateKeyExA(RootKey(root), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
    return;
  }
  state_.reset(new State{win32::OwnedRegistryKey(key)});
}

RegistryKey::~RegistryKey() = default;
RegistryKey::RegistryKey(RegistryKey&& other) noexcept = default;
RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept = default;

bool RegistryKey::SetString(const std::string& name, const std::string& data) {
  if (state_ == nullptr) return false;
  // The length counts the terminating zero, so readers find a terminated string.
  const auto* bytes = reinterpret_cast<const BYTE*>(data.c_str());
  return ::RegSetValueExA(state_->key.get(), name.c_str(), 0, REG_SZ, bytes, static_cast<DWORD>(data.size() + 1)) ==
         ERROR_SUCCESS;
}

bool RegistryKey::DeleteValue(const std::string& name) {
  if (state_ == nullptr) return false;
  const LONG result = ::RegDeleteValueA(state_->key.get(), name.c_str());
  return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

std::optional<std::string> RegistryKey::ReadString(const std::string& name) const {
  if (state_ == nullptr) return std::nullopt;
  return QueryString(state_->key.get(), name);
}

std::optional<std::string> ReadRegistryString(RegistryRoot root, const std::string& path, const std::string& name) {
  HKEY key = nullptr;
  if (::RegOpenKeyExA(RootKey(root), path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
  const win32::OwnedRegistryKey owned(key);
  return QueryString(key, name);
}

}  // namespace tandrel::platform
