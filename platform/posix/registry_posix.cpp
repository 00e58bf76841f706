// The stand-in for the registry on systems without one: a process-wide table of keys
// and their string values. Any thread may use it; one lock keeps it whole.
#include <map>
#include <mutex>

#include "platform/registry.h"
#include "platform/registry_testing.h"

namespace tandrel::platform {
namespace {

struct StandIn {
  std::mutex lock;
  std::map<std::string, std::map<std::string, std::string>> keys;
  bool refuse = false;
};

StandIn& Table() {
  static StandIn table;  // lives until the process ends
  return table;
}

}  // namespace

struct MachineKey::State {
  std::string path;
};

void RefuseMachineKeys(bool refuse) {
  std::lock_guard<std::mutex> hold(Table().lock);
  Table().refuse = refuse;
}

MachineKey::MachineKey(const std::string& path) {
  std::lock_guard<std::mutex> hold(Table().lock);
  if (Table().refuse) return;
  Table().keys[path];  // created when missing
  state_ = new State{path};
}

MachineKey::~MachineKey() { Close(); }

void MachineKey::Close() {
  delete state_;
  state_ = nullptr;
}

bool MachineKey::SetString(const std::string& name, const std::string& data) {
  if (state_ == nullptr) return false;
  std::lock_guard<std::mutex> hold(Table().lock);
  // Like the registry, the stored text ends at its first zero byte.
  Table().keys[state_->path][name] = data.substr(0, data.find('\0'));
  return true;
}

bool MachineKey::DeleteValue(const std::string& name) {
  if (state_ == nullptr) return false;
  std::lock_guard<std::mutex> hold(Table().lock);
  Table().keys[state_->path].erase(name);
  return true;
}

std::optional<std::string> MachineKey::ReadString(const std::string& name) const {
  if (state_ == nullptr) return std::nullopt;
  std::lock_guard<std::mutex> hold(Table().lock);
  const auto& values = Table().keys[state_->path];
  const auto found = values.find(name);
  if (found == values.end()) return std::nullopt;
  return found->second;
}

}  // namespace tandrel::platform
