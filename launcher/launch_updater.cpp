// Handing over to the updater. The process ends here, so that the updater can replace
// the program's files; a running indexing run or search ends with it.
#include "launcher/launcher.h"
#include "platform/platform.h"
#include "platform/process.h"

extern const unsigned char kUpdaterImage[];
extern const std::size_t kUpdaterImage_size;

namespace tandrel::launcher {
namespace {

constexpr char kUpdaterFile[] = "update.exe";
constexpr char kTitleError[] = "Fehler";
constexpr char kTextNotWritten[] = "Konnte update.exe nicht schreiben!";

// True when every byte of the carried updater reached `path` and the file was closed
// without an error. A file that fell short is removed: nothing may start half a program.
[[nodiscard]] bool WriteUpdaterFile(const std::string& path) {
  platform::File file(path, platform::OpenMode::kCreate);
  if (!file.IsOpen()) return false;
  const std::span<const std::uint8_t> image = UpdaterImage();
  const bool written = file.Write({reinterpret_cast<const char*>(image.data()), image.size()});
  if (file.Close() && written) return true;
  platform::RemoveFile(path);
  return false;
}

}  // namespace

std::span<const std::uint8_t> UpdaterImage() { return {kUpdaterImage, kUpdaterImage_size}; }

void LaunchUpdater(ui::Ui& ui) {
  // By its full path: a bare name would be looked up along the search path.
  const std::string updater = platform::ProgramFolder() + kUpdaterFile;
  if (WriteUpdaterFile(updater)) {
    // No arguments and no working folder: the updater inherits the program folder.
    platform::StartOrOpen(updater, "", "");
  } else {
    ui.ShowMessage(kTitleError, kTextNotWritten);
  }
  ui.RemoveTrayIcon();
  platform::EndProcess(0);
}

}  // namespace tandrel::launcher
