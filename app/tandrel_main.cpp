// The Windows program. Command-line arguments are not read.
#include "app/app.h"
#include "platform/platform.h"
#include "platform/process.h"

int main() {
  tandrel::platform::LoadLibrariesFromSystemFolderOnly();
  // Held until the process ends, so that the updater installs only once this program
  // has let go of its files.
  static tandrel::platform::RunningMark running;
  running.Hold(tandrel::platform::ProgramFolder());
  auto ui = tandrel::ui::CreateSystemUi();
  tandrel::RunTandrel(*ui);
  // The quit sequence is done; running workers end with the process.
  tandrel::platform::EndProcess(0);
}
