// The settings as this process holds them. Each declaration names the threads that
// touch it.
#include "settings/settings.h"

namespace tandrel::settings {

FolderSlots IndexedFolders;
std::int32_t AutostartFlag = 0;
SettingsSessionState SettingsSession;

}  // namespace tandrel::settings
