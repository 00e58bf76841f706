// The main window: its controls, menus, status bar and the layout rule.
#include <algorithm>
#include <vector>

#include "app/object_numbers.h"
#include "app/shell.h"

namespace tandrel::app {
namespace {

constexpr int kInitialWidth = 900;
constexpr int kInitialHeight = 600;
int status_bar_height = 0;  // main thread

std::vector<ui::MenuTitle> MainMenuTitles() {
  return {
      {"TDL", {{kItemSettings, "Einstellungen", kImageSettings}, {kItemQuit, "Beenden", kImageQuit}}},
      {"Index",
       {{kItemManageFolders, "Ordner verwalten", kImageManageFolders},
        {kItemUpdateIndex, "Aktualisieren", kImageUpdateIndex}}},
      {"Hilfe",
       {{kItemHelp, "Hilfe", kImageHelp},
        {kItemProgramUpdate, "Progammaktualisierung", kImageProgramUpdate},
        {kItemAbout, "\xDC" "ber", kImageAbout}}},
  };
}

void DefinePopupMenus(ui::Ui& ui) {
  ui.DefinePopupMenu(kResultMenu, {{kItemOpen, "\xD6" "ffnen"},
                                   {kItemOpenFolder, "\xDC" "bergeordnete Ordner \xF6" "ffnen"},
                                   {kItemCopyTo, "Kopieren nach"},
                                   {kItemShellMenu, "Weitere Optionen\x85"}});
  ui.DefinePopupMenu(kTrayMenu, {{kItemHideRestore, "Ausblenden"},
                                 {kItemTrayAbout, "\xDC" "ber"},
                                 {kItemTrayQuit, "Beenden"}});
  ui.DefinePopupMenu(kCancelMenu, {{kItemCancelCopy, "Abbrechen"}});
}

// The option row right to left: the window layer widens a check box to the left until
// its label shows whole, so each control left of a widened one moves left with it,
// keeping the rule's gaps (10 pixels between the boxes, 5 before the first box).
void PlaceOptionRow(ui::Ui& ui, int width) {
  ui.MoveControl(kMainWindow, kFilesCheckBox, {width - 112, 32, 40, 20});
  const int files_left = ui.ControlRect(kMainWindow, kFilesCheckBox).value_or(ui::Rect{width - 112}).x;
  const int folders_right = std::min(width - 122, files_left - 10);
  ui.MoveControl(kMainWindow, kFoldersCheckBox, {folders_right - 50, 32, 50, 20});
  const int folders_left = ui.ControlRect(kMainWindow, kFoldersCheckBox).value_or(ui::Rect{folders_right - 50}).x;
  const int bar_right = std::min(width - 177, folders_left - 5);
  ui.MoveControl(kMainWindow, kProgressBar, {3, 35, bar_right - 3, 13});
}

// The layout rule: the only place that knows where the controls go. Column 1 gets its
// share of the units when the window is built and fills the header on every later layout.
void PlaceControls(ui::Ui& ui, int width, int height, int status_height, bool at_creation) {
  const int unit = (width - 4) / 20;
  ui.MoveControl(kMainWindow, kQueryField, {2, 6, width - 70, 25});
  ui.MoveControl(kMainWindow, kSearchButton, {width - 64, 6, 62, 44});
  ui.MoveControl(kMainWindow, kResultList, {2, 52, width - 4, height - status_height - 78});
  ui.SetColumnWidth(kMainWindow, kResultList, 0, 7 * unit);
  ui.SetColumnWidth(kMainWindow, kResultList, 1, at_creation ? 13 * unit : ui::kFillHeader);
  PlaceOptionRow(ui, width);
}

}  // namespace

int StatusBarHeight() { return status_bar_height; }

FieldSpan StatusFieldSpan(ui::FieldId field) {
  const std::size_t number = static_cast<std::size_t>(ui::NumberOf(field));
  int left = 0;
  for (std::size_t i = 0; i < number; ++i) left += kStatusFieldWidths[i];
  return {left, left + kStatusFieldWidths[number]};
}

void LayoutMainWindow(ui::Ui& ui, int width, int height, int status_height) {
  PlaceControls(ui, width, height, status_height, false);
}

void OpenMainWindow(ui::Ui& ui) {
  if (!ui.OpenWindow(kMainWindow, ui::WindowStyle::kMain, "Tandrel", kInitialWidth,
                     kInitialHeight)) {
    return;
  }
  ui.SetSizeBounds(kMainWindow, 600, 250, 2000, 2000);
  ui.SetMenuBar(kMainWindow, MainMenuTitles());
  DefinePopupMenus(ui);
  status_bar_height = ui.AddStatusBar(kMainWindow, {kStatusFieldWidths.begin(), kStatusFieldWidths.end()});
  ui.PostStatusText(kHitCountField, "Gefunden: 0");
  ui.PostStatusText(kStateField, ui::Centred("Bereit"));

  // Created anywhere, then placed by the layout rule at the window's size now.
  ui.AddTextField(kMainWindow, kQueryField, {});
  ui.AddButton(kMainWindow, kSearchButton, {}, "Suchen");
  ui.SetFont(kMainWindow, kQueryField, {"Arial", 12});
  ui.SetFont(kMainWindow, kSearchButton, {"Arial", 10});
  ui.AddList(kMainWindow, kResultList, {}, {"Dateiname", "Verzeichnis"}, {}, ui::ListSelection::kMultiple);
  ui.AddCheckBox(kMainWindow, kFoldersCheckBox, {}, "Ordner");
  ui.AddCheckBox(kMainWindow, kFilesCheckBox, {}, "Dateien");
  ui.AddProgressBar(kMainWindow, kProgressBar, {}, 100);
  int width = 0;
  int height = 0;
  ui.GetInnerSize(kMainWindow, width, height);
  PlaceControls(ui, width, height, status_bar_height, true);
  ui.SetTabOrder(kMainWindow, {kQueryField, kSearchButton, kFoldersCheckBox, kFilesCheckBox, kResultList});
  ui.SetChecked(kMainWindow, kFoldersCheckBox, true);
  ui.SetChecked(kMainWindow, kFilesCheckBox, true);
  search_window::FilesOption = 1;
  search_window::FoldersOption = 1;
  ui.EnableFlickerFreeErase(kMainWindow);
}

}  // namespace tandrel::app
