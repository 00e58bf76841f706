// The Tandrel application: start-up with the splash, the main window, the event loop
// and the quit sequence, on whatever window layer it is given.
#pragma once

#include <string>

#include "platform/window/ui.h"

namespace tandrel::app {

struct StartOptions {
  // Where db.db, settings.conf and update.exe live; empty for the program's own folder.
  std::string program_folder;
};

// Runs from start-up to the end of the quit sequence. The caller ends the process
// right after, taking any running worker with it.
void RunTandrel(ui::Ui& ui, const StartOptions& options = {});

}  // namespace tandrel::app
