// The settings dialog: one check box for renewing the index at system start.
#include "app/dialogs.h"
#include "app/object_numbers.h"
#include "settings/settings.h"

namespace tandrel::app {

void OpenSettingsDialog(ui::Ui& ui) {
  if (!ui.OpenWindow(kSettingsDialog, ui::WindowStyle::kFixedDialog, "Tandrel - Einstellungen", 200, 100)) return;
  ui.SetStayOnTop(kSettingsDialog);
  ui.AddCheckBox(kSettingsDialog, kAutostartCheckBox, {2, 2, 196, 20}, "Bei Systemstart Index erneuern");
  ui.AddButton(kSettingsDialog, kSettingsApplyButton, {50, 80, 98, 20}, "\xDC" "bernehmen");
  ui.SetDefaultButton(kSettingsDialog, kSettingsApplyButton);
}

void ShowSettingsDialog(ui::Ui& ui) {
  ui.EnableWindow(kMainWindow, false);
  OpenSettingsDialog(ui);
  if (!ui.WindowExists(kSettingsDialog)) {
    ui.EnableWindow(kMainWindow, true);  // no dialog to close later
    return;
  }
  // Any value but 0 shows checked, though only 1 registers the re-indexer.
  ui.SetChecked(kSettingsDialog, kAutostartCheckBox, settings::AutostartFlag != 0);
}

void ApplySettingsDialog(ui::Ui& ui) {
  // A closed dialog's box reads unchecked: a late second apply would switch autostart off.
  if (!ui.WindowExists(kSettingsDialog)) return;
  settings::AutostartFlag = ui.IsChecked(kSettingsDialog, kAutostartCheckBox) ? 1 : 0;
  settings::SettingsSession.applied_autostart_flag = settings::AutostartFlag;
  ReturnToMainWindow(ui, kSettingsDialog);
  if (!SyncAutostart()) ReportAutostartFailure(ui);
}

void CloseSettingsDialog(ui::Ui& ui) {
  if (ui.WindowExists(kSettingsDialog)) ReturnToMainWindow(ui, kSettingsDialog);
}

void DispatchSettingsDialog(ui::Ui& ui, const ui::Event& event) {
  if (event.kind == ui::EventKind::kClose) {
    CloseSettingsDialog(ui);
  } else if (event.kind == ui::EventKind::kControl && event.control == kSettingsApplyButton) {
    ApplySettingsDialog(ui);
  }
}

}  // namespace tandrel::app
