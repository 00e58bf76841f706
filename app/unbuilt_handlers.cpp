// Handlers whose parts of the program are still to be built. Each does nothing yet, so
// the menu items and controls that reach them exist but have no effect.
#include "app/handlers.h"

namespace tandrel {

// Will open the selected hits, the first hit, or their folders with the hit selected.
void OpenHits(ui::Ui&) {}
void OpenFirstHit(ui::Ui&) {}
void OpenHitFolders(ui::Ui&) {}
// Will copy the selected hits into a chosen folder in the background, and cancel that.
void QueueCopies(ui::Ui&) {}
void CancelCopies(ui::Ui&) {}
// Will offer the selected hits as a file list to drag out of the program.
void DragHits(ui::Ui&) {}

}  // namespace tandrel
