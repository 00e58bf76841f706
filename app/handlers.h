// Actions the event loop hands to other parts of the program. (The actions on the result
// list's hits are search/actions/result_actions.h; the program update is the
// launcher's.)
#pragma once

#include <string>
#include <vector>

#include "platform/window/ui.h"

namespace tandrel::app {

// The indexing run started by "Aktualisieren" (and by the folder dialog's apply button):
// sets IndexRunActive and starts the run on a thread of its own. While settings.conf
// cannot be read it starts nothing and says so in a message box.
void StartIndexingRun(ui::Ui& ui);
inline constexpr char kSettingsUnreadableText[] =
    "Die Datei settings.conf kann nicht gelesen werden.\nDer bisherige Index bleibt erhalten.";

// The live index over `folders` (the folder list) on a thread of its own, from the window's
// start to the next indexing run, which stops it first and starts it again after its
// reload. StopLiveIndex waits for the thread (and returns at once when none runs).
void StartLiveIndex(ui::StatusPoster& ui, std::vector<std::string> folders);
void StopLiveIndex();

// "Progammaktualisierung": stores the autostart flag as the quit sequence does, then
// hands over to the updater, which ends the process.
[[noreturn]] void HandOverToUpdater(ui::Ui& ui);

}  // namespace tandrel::app
