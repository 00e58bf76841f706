// String values under a key of the local machine's registry (HKEY_LOCAL_MACHINE), as the
// autostart registration needs them. Text is bytes of the ANSI code page.
//
// Builds for other systems have no registry; there the values live in one process-wide
// table that stands in for it, so that the logic built on these calls runs in native
// tests. Nothing of it outlives the process.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace tandrel::platform {

// A key opened with full access, created (non-volatile) when it is missing; closed when
// the object goes. Move-only.
class MachineKey {
 public:
  explicit MachineKey(const std::string& path);
  ~MachineKey();
  MachineKey(MachineKey&& other) noexcept : state_(std::exchange(other.state_, nullptr)) {}
  MachineKey& operator=(MachineKey&& other) noexcept {
    if (this != &other) {
      Close();
      state_ = std::exchange(other.state_, nullptr);
    }
    return *this;
  }
  MachineKey(const MachineKey&) = delete;
  MachineKey& operator=(const MachineKey&) = delete;

  // False when the key could not be created or opened (without administrator rights).
  bool IsOpen() const { return state_ != nullptr; }
  // Stores `data` as a string value (REG_SZ), its terminating zero byte included.
  bool SetString(const std::string& name, const std::string& data);
  // Deletes the value; a value that does not exist counts as deleted.
  bool DeleteValue(const std::string& name);
  // The data of a string value; none when it is missing or not a string.
  std::optional<std::string> ReadString(const std::string& name) const;

 private:
  struct State;
  void Close();
  State* state_ = nullptr;
};

}  // namespace tandrel::platform
