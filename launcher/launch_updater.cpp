// Handing over to the updater. The process ends here, so that the updater can replace
// the program's files; a running indexing run or search ends with it.
#include "launcher/launcher.h"
#include "platform/platform.h"
#include "platform/process.h"

extern const unsigned char kUpdaterImage[];
extern const std::size_t kUpdaterImage_size;

namespace tandrel {
namespace {

constexpr char kUpdaterFile[] = "update.exe";

// A short or failed write shows in the start that follows, which then fails silently.
void WriteUpdaterFile() {
  platform::File file(kUpdaterFile, platform::OpenMode::kCreate);
  if (!file.IsOpen()) return;
  const std::span<const std::uint8_t> image = UpdaterImage();
  file.Write({reinterpret_cast<const char*>(image.data()), image.size()});
  file.Close();
}

}  // namespace

std::span<const std::uint8_t> UpdaterImage() { return {kUpdaterImage, kUpdaterImage_size}; }

void LaunchUpdater(ui::Ui& ui) {
  WriteUpdaterFile();
  // No arguments and no working folder: the updater inherits the program folder.
  if (!platform::StartProgram(kUpdaterFile, "", "")) platform::OpenWithShell(kUpdaterFile, "", "");
  ui.RemoveTrayIcon();
  platform::EndProcess(0);
}

}  // namespace tandrel
