// The Run-key registration of the companion re-indexer.
#include "app/dialogs.h"
#include "platform/platform.h"
#include "platform/registry.h"
#include "settings/settings.h"

namespace tandrel {

void SyncAutostart() {
  platform::MachineKey run(kRunKey);
  if (!run.IsOpen()) return;  // no administrator rights: nothing to report
  if (AutostartFlag == 1) {
    // The folder ends with its separator. The bare path, without quotes even when it
    // holds spaces, and without arguments.
    run.SetString(kRunValueName, platform::ProgramFolder() + kCompanionFileName);
  } else {
    run.DeleteValue(kRunValueName);
  }
}

}  // namespace tandrel
