// Actions the event loop hands to other parts of the program. Those whose part is not
// built yet are listed under "Not built yet" and do nothing; each says what it will do.
#pragma once

#include "platform/ui.h"

namespace tandrel {

// Not built yet: actions on the result list's hits.
void OpenHits(ui::Ui& ui);
void OpenFirstHit(ui::Ui& ui);
void OpenHitFolders(ui::Ui& ui);
void QueueCopies(ui::Ui& ui);
void CancelCopies(ui::Ui& ui);
void DragHits(ui::Ui& ui);

// The indexing run started by "Aktualisieren" (and by the folder dialog's apply button):
// sets IndexRunActive and starts the run on a thread of its own.
void StartIndexingRun(ui::Ui& ui);
// Waits until every run started by StartIndexingRun has ended (tests, before their
// window layer goes away).
void WaitForIndexingRuns();

}  // namespace tandrel
