// The folder management dialog: a tree of the file system above the list of folders an
// indexing run walks.
#include <memory>

#include "app/dialogs.h"
#include "app/handlers.h"
#include "app/object_numbers.h"
#include "settings/settings.h"

namespace tandrel::app {
namespace {

constexpr int kOpeningWidth = 400;
constexpr int kOpeningHeight = 300;

// The rows of the folder list; each change shows a new list.
class FolderRowList final : public ui::RowSource {
 public:
  explicit FolderRowList(std::vector<std::string> rows) : rows_(std::move(rows)) {}
  std::int32_t RowCount() const override { return static_cast<std::int32_t>(rows_.size()); }
  std::string_view Cell(std::int32_t row, int column) const override {
    if (column != 0 || row < 0 || row >= RowCount()) return {};
    return rows_[static_cast<std::size_t>(row)];
  }
  bool IsFolder(std::int32_t) const override { return true; }
  const std::vector<std::string>& Rows() const { return rows_; }

 private:
  std::vector<std::string> rows_;
};

// What the folder list shows while the dialog is open; main thread only.
std::shared_ptr<const FolderRowList> shown_rows = std::make_shared<FolderRowList>(std::vector<std::string>{});

void ShowRows(ui::Ui& ui, std::vector<std::string> rows) {
  shown_rows = std::make_shared<FolderRowList>(std::move(rows));
  ui.SetRows(kFolderDialog, kFolderList, shown_rows);
}

void DefineFolderMenus(ui::Ui& ui) {
  ui.DefinePopupMenu(kTreeMenu, {{kItemAddFolder, "Hinzuf\xFCgen"}});
  ui.DefinePopupMenu(kFolderListMenu, {{kItemRemoveFolder, "Entfernen"}});
}

// The tree's text without its closing backslash: D:\Daten\ gives D:\Daten, the drive
// D:\ gives D:.
std::string FolderOfTreeText(std::string text) {
  if (!text.empty() && (text.back() == '\\' || text.back() == '/')) text.pop_back();
  return text;
}

}  // namespace

const std::vector<std::string>& FolderRows() { return shown_rows->Rows(); }

void LayoutFolderDialog(ui::Ui& ui, int width, int height) {
  ui.MoveControl(kFolderDialog, kFolderSplitter, {2, 2, width - 4, height - 32});
  ui.SetColumnWidth(kFolderDialog, kFolderList, 0, width - 12);
  ui.MoveControl(kFolderDialog, kFolderApplyButton, {width / 2 - 140, height - 28, 110, 26});
  ui.MoveControl(kFolderDialog, kFolderCancelButton, {width / 2 + 30, height - 28, 110, 26});
  ui.SetColumnWidth(kFolderDialog, kFolderList, 0, ui::kFillHeader);
}

void OpenFolderDialog(ui::Ui& ui) {
  if (!ui.OpenWindow(kFolderDialog, ui::WindowStyle::kResizableDialog, "Tandrel - Ordner verwalten", kOpeningWidth,
                     kOpeningHeight)) {
    return;
  }
  ui.SetSizeBounds(kFolderDialog, 300, 250, 1000, 600);
  DefineFolderMenus(ui);
  ui.SetStayOnTop(kFolderDialog);
  int width = 0;
  int height = 0;
  ui.GetInnerSize(kFolderDialog, width, height);
  const ui::Rect inside{2, 2, width - 4, height - 32};
  ui.AddFolderTree(kFolderDialog, kFolderTree, inside);
  ui.AddList(kFolderDialog, kFolderList, inside, {"Pfad"}, {width - 12}, ui::ListSelection::kSingle);
  ui.AddSplitter(kFolderDialog, kFolderSplitter, inside, kFolderTree, kFolderList);
  ui.AddButton(kFolderDialog, kFolderApplyButton, {width / 2 - 140, height - 28, 110, 26}, "\xDC" "bernehmen");
  ui.AddButton(kFolderDialog, kFolderCancelButton, {width / 2 + 30, height - 28, 110, 26}, "Abbrechen");
  ui.SetDefaultButton(kFolderDialog, kFolderApplyButton);
  LayoutFolderDialog(ui, width, height);
}

void ShowFolderDialog(ui::Ui& ui) {
  ui.EnableWindow(kMainWindow, false);
  OpenFolderDialog(ui);
  if (!ui.WindowExists(kFolderDialog)) {
    // No dialog to close later: the main window must not stay disabled for good.
    ui.EnableWindow(kMainWindow, true);
    return;
  }
  settings::ReloadSettings();
  std::vector<std::string> rows;
  for (const std::string& folder : settings::IndexedFolders) {
    if (!folder.empty()) rows.push_back(folder);  // empty slots leave no gap
  }
  ShowRows(ui, std::move(rows));
}

void AddSelectedFolder(ui::Ui& ui) {
  if (!ui.WindowExists(kFolderDialog)) return;
  const std::string folder = FolderOfTreeText(ui.Text(kFolderDialog, kFolderTree));
  const std::vector<std::string>& rows = FolderRows();
  if (folder.empty()) return;
  for (const std::string& row : rows) {
    if (row == folder) return;  // case matters: d:\daten and D:\Daten are two rows
  }
  if (rows.size() >= static_cast<std::size_t>(settings::kFolderSlotCount)) {
    // The settings hold this many folders and no more.
    ui.ShowMessage("Warnung", "Es k\xF6nnen h\xF6" "chstens 101 Ordner indexiert werden. Bitte entfernen Sie "
                              "zuerst einen Ordner aus der Liste.");
    return;
  }
  std::vector<std::string> grown = rows;
  grown.push_back(folder);
  ShowRows(ui, std::move(grown));
}

void RemoveSelectedFolder(ui::Ui& ui) {
  if (!ui.WindowExists(kFolderDialog)) return;
  const std::int32_t row = ui.SelectedRow(kFolderDialog, kFolderList);
  if (row >= 0 && row < shown_rows->RowCount()) {
    std::vector<std::string> rows = FolderRows();
    rows.erase(rows.begin() + row);
    ShowRows(ui, std::move(rows));
  }
  // The removal stays in the list only; settings.conf is unchanged until applied.
  settings::ReloadSettings();
}

void ApplyFolderDialog(ui::Ui& ui) {
  // A second "Übernehmen" queued before the first was handled finds no rows: it must not
  // write an empty list and start a run over it.
  if (!ui.WindowExists(kFolderDialog)) return;
  // A file that cannot be written gets no message: the run then walks what the file
  // still holds, as the reload shows.
  (void)settings::WriteSettings(FolderRows());
  settings::ReloadSettings();  // the run walks what the file holds now
  ReturnToMainWindow(ui, kFolderDialog);
  shown_rows = std::make_shared<FolderRowList>(std::vector<std::string>{});
  StartIndexingRun(ui);
}

void CancelFolderDialog(ui::Ui& ui) {
  if (!ui.WindowExists(kFolderDialog)) return;
  ReturnToMainWindow(ui, kFolderDialog);
  shown_rows = std::make_shared<FolderRowList>(std::vector<std::string>{});
}

void DispatchFolderDialog(ui::Ui& ui, const ui::Event& event) {
  switch (event.kind) {
    case ui::EventKind::kClose: CancelFolderDialog(ui); return;
    case ui::EventKind::kSize: {
      int width = 0;
      int height = 0;
      ui.GetInnerSize(kFolderDialog, width, height);
      LayoutFolderDialog(ui, width, height);
      return;
    }
    case ui::EventKind::kControl: break;
    default: return;
  }
  switch (event.control) {
    case kFolderCancelButton: CancelFolderDialog(ui); break;
    case kFolderApplyButton: ApplyFolderDialog(ui); break;
    case kFolderTree:
      if (event.action == ui::Action::kRightClick) ui.ShowPopupMenu(kFolderDialog, kTreeMenu);
      break;
    case kFolderList:
      if (event.action == ui::Action::kRightClick && ui.SelectedRow(kFolderDialog, kFolderList) >= 0) {
        ui.ShowPopupMenu(kFolderDialog, kFolderListMenu);
      } else if (event.action == ui::Action::kDeleteKey) {
        RemoveSelectedFolder(ui);  // the Del key does what "Entfernen" does
      }
      break;
    default: break;
  }
}

void ReturnToMainWindow(ui::Ui& ui, ui::WindowId dialog) {
  // Enabled before the dialog goes, so the system does not hand the activation to
  // another program's window in between.
  ui.EnableWindow(kMainWindow, true);
  ui.CloseWindow(dialog);
  ui.ActivateWindow(kMainWindow);
}

}  // namespace tandrel::app
