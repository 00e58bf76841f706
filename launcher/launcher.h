// The main program's side of the updater: the updater carried inside the program, and
// the menu action that hands over to it.
#pragma once

#include <cstdint>
#include <span>

#include "platform/window/ui.h"

namespace tandrel::launcher {

// The finished updater executable, byte for byte (empty in builds for other systems).
std::span<const std::uint8_t> UpdaterImage();

// Writes the carried updater as "update.exe" in the program folder and, once every byte
// is written, starts it by its full path; a write that fails is reported instead. Then
// removes the tray icon and ends the process at once: no quit sequence, no settings
// written.
[[noreturn]] void LaunchUpdater(ui::Ui& ui);

}  // namespace tandrel::launcher
