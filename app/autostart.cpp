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
    // The folder ends with its separator. In quotes, without arguments: the system reads
    // the value as a command line, and an unquoted path with spaces in it would start
    // "C:\Program.exe" for "C:\Program Files\...". A value of an older version, without
    // quotes, is overwritten here or deleted below like any other.
    run.SetString(kRunValueName, "\"" + platform::ProgramFolder() + kCompanionFileName + "\"");
  } else {
    run.DeleteValue(kRunValueName);
  }
}

}  // namespace tandrel
