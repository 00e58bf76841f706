// Handlers whose parts of the program are still to be built. Each does nothing yet, so
// the menu items and controls that reach them exist but have no effect.
#include "app/handlers.h"

namespace tandrel {

// Will write out the carried updater as update.exe, start it and end the program.
void LaunchUpdater(ui::Ui&) {}

}  // namespace tandrel
