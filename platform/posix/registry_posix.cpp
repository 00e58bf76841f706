// The stand-in for the registry on systems without one: a process-wide table of keys
// and their string values per root. Any thread may use it; one lock keeps it whole.
#include <map>
#include <mutex>

#include "platform/registry.h"
#include "platform/registry_testing.h"

namespace tandrel::platform {
namespace {

using Values = std::map<std::string, std::string>;

struct StandIn {
  std::mutex lock;
  std::map<std::pair<RegistryRoot, std::string>, Values> keys;
  std::map<RegistryRoot, bool> refused;
};

StandIn& Table() {
  static StandIn table;  // lives until the process ends
  return table;
}

}  // namespace

struct RegistryKey::State {
  RegistryRoot root;
  std::string path;
};

void RefuseRegistryKeys(RegistryRoot root, bool refuse) {
  std::lock_guard<std::mutex> hold(Table().lock);
  Table().refused[root] = refuse;
}

RegistryKey::RegistryKey(RegistryRoot root, const std::string& path) {
  std::lock_guard<std::mutex> hold(Table().lock);
  if (Table().refused[root]) return;
  Table().keys[{root, path}];  // created when missing
  state_.reset(new State{root, path});
}

RegistryKey::~RegistryKey() = default;
RegistryKey::RegistryKey(RegistryKey&& other) noexcept = default;
RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept = default;

bool RegistryKey::SetString(const std::string& name, const std::string& data) {
  if (state_ == nullptr) return false;
  std::lock_guard<std::mutex> hold(Table().lock);
  // Like the registry, the stored text ends at its first zero byte.
  Table().keys[{state_->root, state_->path}][name] = data.substr(0, data.find('\0'));
  return true;
}

bool RegistryKey::DeleteValue(const std::string& name) {
  if (state_ == nullptr) return false;
  std::lock_guard<std::mutex> hold(Table().lock);
  Table().keys[{state_->root, state_->path}].erase(name);
  return true;
}

std::optional<std::string> RegistryKey::ReadString(const std::string& name) const {
  if (state_ == nullptr) return std::nullopt;
  return ReadRegistryString(state_->root, state_->path, name);
}

std::optional<std::string> ReadRegistryString(RegistryRoot root, const std::string& path, const std::string& name) {
  std::lock_guard<std::mutex> hold(Table().lock);
  const auto key = Table().keys.find({root, path});
  if (key == Table().keys.end()) return std::nullopt;
  const auto found = key->second.find(name);
  if (found == key->second.end()) return std::nullopt;
  return found->second;
}

}  // namespace tandrel::platform
