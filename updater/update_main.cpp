// update.exe: no window of its own, no arguments read; one pass, then Tandrel again.
#include "platform/platform.h"
#include "platform/process.h"
#include "updater/update_public_key.h"
#include "updater/system_operations.h"

#ifndef TANDREL_UPDATE_SERVER_HOST
#error "TANDREL_UPDATE_SERVER_HOST names the update server"
#endif

int main() {
  using namespace tandrel;
  platform::LoadLibrariesFromSystemFolderOnly();
  const std::string folder = platform::ProgramFolder();
  platform::SetCurrentFolder(folder);
  const auto ops = updater::CreateSystemOperations(folder, updater::UpdatePublicKeys(),
                                                   platform::ShowProcessMessage);
  updater::RunUpdate(*ops, folder, TANDREL_UPDATE_SERVER_HOST);
  platform::EndProcess(0);
}
