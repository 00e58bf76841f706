// Process-wide state of the application shell.
#include "app/settings.h"
#include "app/shell.h"

namespace tandrel {

FolderSlots IndexedFolders;
std::int32_t AutostartFlag = 0;

int MainHidden = 0;
std::atomic<int> FoldersOption{0};
std::atomic<int> FilesOption{0};

}  // namespace tandrel
