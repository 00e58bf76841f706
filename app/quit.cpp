// The quit sequence.
#include "app/handlers.h"
#include "app/object_numbers.h"
#include "app/shell.h"
#include "index/indexing.h"
#include "launcher/launcher.h"
#include "platform/platform.h"
#include "settings/settings.h"

namespace tandrel::app {
namespace {

constexpr std::uint32_t kQuitPollMs = 50;

}  // namespace

void QuitProgram(ui::Ui& ui) {
  // The icon first: its removal names the window, which must still exist.
  ui.RemoveTrayIcon();
  ui.CloseWindow(kMainWindow);
  // The live index ends between two changes (a catch-up walk at its next entry): what it
  // showed is in the journal already.
  StopLiveIndex();
  // No message at quit: the flag then stays as the file had it, and the next start
  // brings the registration in line with that.
  (void)settings::StoreAutostartFlag();
  // A run still walking loses its walk file: db.db keeps the previous index. Abandoning
  // first, under the walk file's lock, leaves no gap: a run that closed its walk file
  // has set IndexMerging in the same step, and is waited for below.
  index::IndexTempFile.Abandon();
  // A run that is writing the new db.db is waited for until the file is in place.
  if (index::IndexMerging.load() == 1) {
    platform::StoppableWait poll;
    while (index::IndexRunActive.load() != 0) poll.For(kQuitPollMs);
  }
}

void HandOverToUpdater(ui::Ui& ui) {
  // The process ends without the quit sequence, but a flag changed in this session must
  // not be lost: the next start would remove the registration made for it. As at quit,
  // a file that cannot be written gets no message.
  (void)settings::StoreAutostartFlag();
  launcher::LaunchUpdater(ui);
}

}  // namespace tandrel::app
