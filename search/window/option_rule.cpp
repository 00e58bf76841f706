// The two check boxes are never both off: switching one off while the other is off
// turns the other back on.
#include "search/window/search_window.h"

namespace tandrel::search_window {

void ApplyFoldersCheckBox(ui::Ui& ui, const SearchControls& c) {
  if (!ui.IsChecked(c.window, c.files_check_box)) {
    ui.SetChecked(c.window, c.files_check_box, true);
    FilesOption = 1;
  }
  FoldersOption = ui.IsChecked(c.window, c.folders_check_box) ? 1 : 0;
}

void ApplyFilesCheckBox(ui::Ui& ui, const SearchControls& c) {
  if (!ui.IsChecked(c.window, c.folders_check_box)) {
    ui.SetChecked(c.window, c.folders_check_box, true);
    FoldersOption = 1;
  }
  FilesOption = ui.IsChecked(c.window, c.files_check_box) ? 1 : 0;
}

}  // namespace tandrel::search_window
