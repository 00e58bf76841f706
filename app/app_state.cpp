// Process-wide state of the application shell.
#include "app/settings.h"
#include "app/shell.h"

namespace tandrel {

FolderSlots IndexedFolders;
std::int32_t AutostartFlag = 0;
std::optional<std::int32_t> AppliedAutostartFlag;
bool SettingsReadFailed = false;

int MainHidden = 0;

}  // namespace tandrel
