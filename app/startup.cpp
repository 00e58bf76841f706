// From process start to the event loop, and the loop itself.
#include <array>

#include "app/app.h"
#include "app/dialogs.h"
#include "app/handlers.h"
#include "app/object_numbers.h"
#include "app/shell.h"
#include "index/index.h"
#include "platform/platform.h"
#include "settings/settings.h"
#include "updater/install_journal.h"

namespace tandrel::app {
namespace {

// The splash stays longer than this after its fade-in, load included.
constexpr std::uint32_t kSplashHoldMs = 600;
constexpr std::uint32_t kLoopWaitMs = 5;

// The list's type-ahead folds as the search does, so a typed "ä" finds "Ärger".
std::array<std::uint8_t, 256> NameFoldTable() {
  std::array<std::uint8_t, 256> table{};
  for (std::size_t i = 0; i < table.size(); ++i) table[i] = index::FoldNameByte(static_cast<std::uint8_t>(i));
  return table;
}

// Size changes are laid out at once, inside the system's move loop too; the end of the
// session runs the quit sequence before the handling returns, after which the system
// may end the process at any moment.
void HandleUrgentEvent(ui::Ui& ui, const ui::Event& event) {
  if (event.kind == ui::EventKind::kEndSession) {
    QuitProgram(ui);
    platform::EndProcess(0);
  }
  DispatchEvent(ui, event);
}

}  // namespace

void ShowSplash(ui::Ui& ui, const ui::Picture& picture, std::string_view caption) {
  if (!ui.OpenWindow(kSplashWindow, ui::WindowStyle::kSplash, caption, picture.width,
                     picture.height)) {
    return;
  }
  ui.SetOpacity(kSplashWindow, 0);
  ui.AddPicture(kSplashWindow, kSplashPicture, {0, 0, picture.width, picture.height}, picture);
  for (int opacity = 0; opacity <= 255; opacity += 5) {
    ui.SetOpacity(kSplashWindow, static_cast<std::uint8_t>(opacity));
    ui.HandleOnePendingEvent();
    platform::Sleep(5);
  }
}

void StartUp(ui::Ui& ui) {
  platform::RemoveFile(kUpdaterFileName);  // left over from the last program update
  // An install that a crash interrupted is finished or undone before anything is loaded;
  // not while the updater still runs (its file could not be removed), which may be
  // installing right now.
  if (!platform::CanOpenForReading(kUpdaterFileName)) updater::RepairInterruptedInstall();

  ui::Picture splash;
  LoadCarriedImages(ui, splash);
  ui.DrawPictureText(splash, 5, 180, 80, 80, 80, std::string("V ") + kProgramVersion);
  ShowSplash(ui, splash, "Lade...");
  ui.SetStayOnTop(kSplashWindow);

  const std::uint32_t t0 = platform::TickCount();
  index::LoadIndex([&ui] { ui.HandleOnePendingEvent(); });
  platform::StoppableWait hold;
  for (std::uint32_t held; (held = platform::TickCount() - t0) <= kSplashHoldMs;) {
    hold.For(kSplashHoldMs + 1 - held);
  }
  ui.CloseWindow(kSplashWindow);

  OpenMainWindow(ui);
  ui.AddTrayIcon(kMainWindow, kTrayIdleIcon, "Tandrel");
  ui.AddShortcut(kMainWindow, ui::Shortcut::kCtrlA, kShortcutSelectAll);
  ui.AddShortcut(kMainWindow, ui::Shortcut::kReturn, kShortcutSearch);
  settings::ReadSettings();
  if (!SyncAutostart()) ReportAutostartFailure(ui);
  ui.SetTypeAheadFold(NameFoldTable());
  ui.SetUrgentEventHandler([&ui](const ui::Event& event) { HandleUrgentEvent(ui, event); });
  ui.Focus(kMainWindow, kQueryField);
  // Once the window is up: the live index loads and catches up in the background.
  StartLiveIndex(ui, std::vector<std::string>(settings::IndexedFolders.begin(), settings::IndexedFolders.end()));
}

void EventLoop(ui::Ui& ui) {
  for (;;) {
    const ui::Event event = ui.WaitEvent(kLoopWaitMs);
    if (!DispatchEvent(ui, event)) return;
  }
}

void RunTandrel(ui::Ui& ui, const StartOptions& options) {
  const std::string folder =
      options.program_folder.empty() ? platform::ProgramFolder() : options.program_folder;
  platform::SetCurrentFolder(folder);
  StartUp(ui);
  EventLoop(ui);
  QuitProgram(ui);
}

}  // namespace tandrel::app
