// String values under a key of the registry, as the autostart registration needs them:
// under the local machine (HKEY_LOCAL_MACHINE) or the current user (HKEY_CURRENT_USER).
// Text is bytes of the ANSI code page.
//
// Builds for other systems have no registry; there the values live in one process-wide
// table per root that stands in for it, so that the logic built on these calls runs in
// native tests. Nothing of it outlives the process.
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace tandrel::platform {

enum class RegistryRoot { kMachine, kUser };

// A key opened with full access, created (non-volatile) when it is missing; closed when
// the object goes. Move-only.
class RegistryKey {
 public:
  RegistryKey(RegistryRoot root, const std::string& path);
  ~RegistryKey();
  RegistryKey(RegistryKey&& other) noexcept;
  RegistryKey& operator=(RegistryKey&& other) noexcept;
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  // False when the key could not be created or opened with full access (a machine key
  // without administrator rights).
  bool IsOpen() const { return state_ != nullptr; }
  // Stores `data` as a string value (REG_SZ), its terminating zero byte included.
  [[nodiscard]] bool SetString(const std::string& name, const std::string& data);
  // Deletes the value; a value that does not exist counts as deleted.
  [[nodiscard]] bool DeleteValue(const std::string& name);
  // The data of a string value; none when it is missing or not a string.
  std::optional<std::string> ReadString(const std::string& name) const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The data of a string value read with read access only, which a user without
// administrator rights has to the machine's keys too; none when the key or the value is
// missing or the value is not a string.
std::optional<std::string> ReadRegistryString(RegistryRoot root, const std::string& path, const std::string& name);

}  // namespace tandrel::platform
