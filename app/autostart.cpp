// The Run-key registration of the companion re-indexer.
#include "app/dialogs.h"
#include "platform/platform.h"
#include "platform/registry.h"
#include "settings/settings.h"

namespace tandrel::app {
namespace {

using platform::RegistryKey;
using platform::RegistryRoot;

// Removes the value under `root`; true when none is left there. Where the key cannot be
// opened for writing (a standard user's machine key) a value can only be left alone.
bool RemoveRunValue(RegistryRoot root) {
  RegistryKey run(root, kRunKey);
  if (run.IsOpen()) return run.DeleteValue(kRunValueName);
  return !platform::ReadRegistryString(root, kRunKey, kRunValueName).has_value();
}

bool Register(const std::string& command) {
  RegistryKey machine(RegistryRoot::kMachine, kRunKey);
  const bool in_machine =
      (machine.IsOpen() && machine.SetString(kRunValueName, command)) ||
      // An administrator's registration stands even where this user cannot write.
      (!machine.IsOpen() && platform::ReadRegistryString(RegistryRoot::kMachine, kRunKey, kRunValueName).has_value());
  if (in_machine) return RemoveRunValue(RegistryRoot::kUser);
  RegistryKey user(RegistryRoot::kUser, kRunKey);
  return user.IsOpen() && user.SetString(kRunValueName, command);
}

}  // namespace

bool SyncAutostart() {
  if (settings::AutostartFlag == 1) {
    // The folder ends with its separator. In quotes, without arguments: the system reads
    // the value as a command line, and an unquoted path with spaces in it would start
    // "C:\Program.exe" for "C:\Program Files\...". A value of an older version, without
    // quotes, is overwritten here or removed like any other.
    return Register("\"" + platform::ProgramFolder() + kCompanionFileName + "\"");
  }
  const bool machine_clear = RemoveRunValue(RegistryRoot::kMachine);
  const bool user_clear = RemoveRunValue(RegistryRoot::kUser);
  return machine_clear && user_clear;
}

void ReportAutostartFailure(ui::Ui& ui) {
  ui.ShowMessage("Warnung", settings::AutostartFlag == 1 ? "Der Autostart konnte nicht eingetragen werden."
                                               : "Der Autostart konnte nicht entfernt werden.");
}

}  // namespace tandrel::app
