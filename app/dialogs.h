// The folder management dialog, the settings dialog and the autostart registration.
// Both dialogs are plain windows: their events come through the one event loop, which
// hands them to the actions below. While one is open the main window is disabled, and
// every way of closing it enables and activates the main window again.
#pragma once

#include <string>
#include <vector>

#include "platform/window/ui.h"

namespace tandrel::app {

// ---- Folder dialog ------------------------------------------------------------------

// Creates the dialog with its menus and controls, laid out for its opening size.
void OpenFolderDialog(ui::Ui& ui);
// Places the splitter and the buttons for the inner size W x H, and the "Pfad" column.
void LayoutFolderDialog(ui::Ui& ui, int width, int height);
// "Ordner verwalten": disables the main window, opens the dialog, reads settings.conf
// and lists its folders.
void ShowFolderDialog(ui::Ui& ui);
// "Hinzufügen": the folder selected in the tree as a new last row, unless it is listed
// already (byte for byte) or the list is full.
void AddSelectedFolder(ui::Ui& ui);
// "Entfernen": removes the selected row, then reads settings.conf again.
void RemoveSelectedFolder(ui::Ui& ui);
// "Übernehmen": writes settings.conf from the rows, reads it back, closes the dialog and
// starts an indexing run over the list just written.
void ApplyFolderDialog(ui::Ui& ui);
// "Abbrechen" or the close box: closes the dialog; nothing is written.
void CancelFolderDialog(ui::Ui& ui);
// The dialog's control, close and size events.
void DispatchFolderDialog(ui::Ui& ui, const ui::Event& event);
// The rows the folder list shows while the dialog is open.
const std::vector<std::string>& FolderRows();

// ---- Settings dialog ----------------------------------------------------------------

// Creates the dialog with its check box (unchecked) and button.
void OpenSettingsDialog(ui::Ui& ui);
// "Einstellungen": disables the main window, opens the dialog and checks the box when
// AutostartFlag is not 0.
void ShowSettingsDialog(ui::Ui& ui);
// "Übernehmen": AutostartFlag from the box, the dialog closed, the registration brought
// in line at once. settings.conf gets the flag at quit or with the next folder list.
void ApplySettingsDialog(ui::Ui& ui);
// The close box: nothing changes.
void CloseSettingsDialog(ui::Ui& ui);
void DispatchSettingsDialog(ui::Ui& ui, const ui::Event& event);

// Closes `dialog`, enables the main window and makes it the active one.
void ReturnToMainWindow(ui::Ui& ui, ui::WindowId dialog);

// ---- Autostart registration ---------------------------------------------------------

inline constexpr char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr char kRunValueName[] = "Tandrel Vexoran";
inline constexpr char kCompanionFileName[] = "Vexoran.exe";

// While AutostartFlag is 1 the companion re-indexer (the program's folder and
// "Vexoran.exe", in quotes) is started at every logon by one Run value: the local
// machine's where it can be written (or an administrator's there stands), else the
// current user's; the other root's value goes, so there is never a second one. Otherwise
// the value is removed from both roots. False when that could not be done: no root took
// the value, or a value stays that could not be removed.
[[nodiscard]] bool SyncAutostart();
// The message for a false SyncAutostart, so that a failed registration is never shown as
// done.
void ReportAutostartFailure(ui::Ui& ui);

}  // namespace tandrel::app
