// Actions on the hits: the selected rows of the result list, in list order, read from the
// rows the list shows. All on the main thread, except the copy worker. A hit whose stored
// path does not stand for exactly one file is left out of every action, and the state
// field names it: acting on a guess could open or copy another file.
#pragma once

#include <cstdint>

#include "platform/window/ui.h"

namespace tandrel::actions {

// The window's numbers that the actions touch; the shell fills this in once.
struct ResultControls {
  ui::WindowId window{};
  ui::ControlId result_list{};
  ui::FieldId copy_field{};  // "Working... (N)" while copies are pending
  ui::FieldId name_field{};  // the name being copied, unless an indexing run owns the field
  ui::FieldId state_field{};  // says which hit an action left out, and why
};

// What the state field shows for a hit that an action leaves out because its stored path
// (a name the code page cannot hold, platform/paths.h) matches no file, or several.
inline constexpr char kHitNotFoundText[] = "Nicht gefunden: ";
inline constexpr char kHitAmbiguousText[] = "Nicht eindeutig: ";

// Opens every hit with the shell (programs in their own folder).
void OpenHits(ui::Ui& ui, const ResultControls& controls);
// The same for the first selected row only (the double click).
void OpenFirstHit(ui::Ui& ui, const ResultControls& controls);
// Opens the folders holding the hits, each with its hits selected; asks first above 10.
void OpenHitFolders(ui::Ui& ui, const ResultControls& controls);
// Asks for a destination folder and queues a copy of every hit into it; starts the copy
// worker when none runs.
void QueueCopies(ui::Ui& ui, const ResultControls& controls);
// Drops every queued copy; the one under way is finished, then the worker ends.
void CancelCopies(ui::Ui& ui, const ResultControls& controls);
// Drags the hits out as a file list, for copying.
void DragHits(ui::Ui& ui, const ResultControls& controls);
// Puts the hits on the clipboard as a file list and as text (Ctrl+C).
void CopyHitsToClipboard(ui::Ui& ui, const ResultControls& controls);
// Opens the shell's own context menu for the hits.
void ShowShellMenuForHits(ui::Ui& ui, const ResultControls& controls);

// The copies queued and not yet finished. Any thread.
std::int32_t PendingCopies();
// True while the copy worker runs. Any thread.
bool CopyWorkerRunning();

}  // namespace tandrel::actions
