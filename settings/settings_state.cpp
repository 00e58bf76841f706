// The settings as this process holds them. Each declaration names the threads that
// touch it.
#include "app/settings/settings.h"

namespace tandrel {

FolderSlots IndexedFolders;
std::int32_t AutostartFlag = 0;
std::optional<std::int32_t> AppliedAutostartFlag;
bool SettingsReadFailed = false;

}  // namespace tandrel
