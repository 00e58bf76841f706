// The Windows program. Command-line arguments are not read.
#include "app/app.h"
#include "platform/platform.h"

int main() {
  tandrel::platform::LoadLibrariesFromSystemFolderOnly();
  // Held until the process ends, so that the updater installs only once this program
  // has let go of its files.
  static tandrel::platform::FolderClaim running(tandrel::platform::ClaimKind::kRunningProgram);
  // Without it the program runs all the same; only an update then cannot wait for its end.
  (void)running.TryClaim(tandrel::platform::ProgramFolder());
  auto ui = tandrel::ui::CreateSystemUi();
  tandrel::app::RunTandrel(*ui);
  // The quit sequence is done; running workers end with the process.
  tandrel::platform::EndProcess(0);
}
