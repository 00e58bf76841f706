// The event loop's dispatch table, and the small actions it does itself.
#include "app/dialogs.h"
#include "app/handlers.h"
#include "app/object_numbers.h"
#include "app/shell.h"
#include "index/index.h"
#include "index/live_index.h"
#include "launcher/launcher.h"

namespace tandrel::app {
namespace {

bool DispatchMenu(ui::Ui& ui, ui::ItemId item) {
  switch (item) {
    case kShortcutSearch: search_window::StartSearch(ui, kSearchControls); break;
    case kShortcutSelectAll: SelectAllResults(ui); break;
    case kItemManageFolders: ShowFolderDialog(ui); break;
    case kItemUpdateIndex: StartIndexingRun(ui); break;
    case kItemHelp: ui.ShowMessage("Fehler", "Kann Hilfe nicht finden!"); break;
    case kItemAbout:
    case kItemTrayAbout: ShowAbout(ui); break;
    case kItemOpen: actions::OpenHits(ui, kResultControls); break;
    case kItemOpenFolder: actions::OpenHitFolders(ui, kResultControls); break;
    case kItemCopyTo: actions::QueueCopies(ui, kResultControls); break;
    case kItemShellMenu: actions::ShowShellMenuForHits(ui, kResultControls); break;
    case kItemCancelCopy: actions::CancelCopies(ui, kResultControls); break;
    case kItemSettings: ShowSettingsDialog(ui); break;
    case kItemQuit:
    case kItemTrayQuit: return false;
    case kItemHideRestore: ToggleMainHidden(ui); break;
    case kItemProgramUpdate: HandOverToUpdater(ui); break;
    case kItemAddFolder: AddSelectedFolder(ui); break;
    case kItemRemoveFolder: RemoveSelectedFolder(ui); break;
    default: break;
  }
  return true;
}

void DispatchMainControl(ui::Ui& ui, const ui::Event& event) {
  switch (event.control) {
    case kSearchButton:
      if (event.action == ui::Action::kLeftClick) {
        search_window::StartSearch(ui, kSearchControls);
        ui.Focus(kMainWindow, kQueryField);  // the next query is typed at once
      }
      break;
    case kResultList:
      if (event.action == ui::Action::kLeftDoubleClick) {
        actions::OpenFirstHit(ui, kResultControls);
      } else if (event.action == ui::Action::kRightClick) {
        if (ui.RowCount(kMainWindow, kResultList) > 0) ui.ShowPopupMenu(kMainWindow, kResultMenu);
      } else if (event.action == ui::Action::kShiftRightClick) {
        actions::ShowShellMenuForHits(ui, kResultControls);
      } else if (event.action == ui::Action::kHeaderClick) {
        search_window::ClickResultHeader(ui, kSearchControls, event.column);
      } else if (event.action == ui::Action::kDragStart) {
        actions::DragHits(ui, kResultControls);
      } else if (event.action == ui::Action::kCopy) {
        actions::CopyHitsToClipboard(ui, kResultControls);
      }
      break;
    case kFoldersCheckBox: search_window::ApplyFoldersCheckBox(ui, kSearchControls); break;
    case kFilesCheckBox: search_window::ApplyFilesCheckBox(ui, kSearchControls); break;
    default: break;
  }
}

}  // namespace

bool DispatchEvent(ui::Ui& ui, const ui::Event& event) {
  // Events queued before their window was closed (a double click on a dialog's button
  // while the main thread was busy) belong to nothing any more.
  if (event.kind != ui::EventKind::kNone && !ui.WindowExists(event.window)) return true;
  // The dialogs' own events; their menu items come as menu events like all others.
  if (event.kind != ui::EventKind::kMenu) {
    if (event.window == kFolderDialog) {
      DispatchFolderDialog(ui, event);
      return true;
    }
    if (event.window == kSettingsDialog) {
      DispatchSettingsDialog(ui, event);
      return true;
    }
  }
  switch (event.kind) {
    case ui::EventKind::kMenu: return DispatchMenu(ui, event.item);
    case ui::EventKind::kClose: return event.window != kMainWindow;
    case ui::EventKind::kSize:
      if (event.window == kMainWindow) {
        int width = 0;
        int height = 0;
        ui.GetInnerSize(kMainWindow, width, height);
        LayoutMainWindow(ui, width, height, StatusBarHeight());
      }
      return true;
    case ui::EventKind::kTray:
      if (event.action == ui::Action::kLeftDoubleClick) ToggleMainHidden(ui);
      if (event.action == ui::Action::kRightButton) ui.ShowPopupMenu(kMainWindow, kTrayMenu);
      return true;
    case ui::EventKind::kRightButtonDown:
      if (event.window == kMainWindow && IsOverCopyField(ui, event.x, event.y)) {
        ui.ShowPopupMenu(kMainWindow, kCancelMenu);
      }
      return true;
    case ui::EventKind::kControl:
      if (event.window == kMainWindow) DispatchMainControl(ui, event);
      return true;
    case ui::EventKind::kEndSession: return false;  // the quit sequence, as for Beenden
    case ui::EventKind::kNone: return true;
  }
  return true;
}

bool IsOverCopyField(ui::Ui& ui, int x, int y) {
  int width = 0;
  int height = 0;
  ui.GetInnerSize(kMainWindow, width, height);
  const int bar = StatusBarHeight();
  const FieldSpan field = StatusFieldSpan(kCopyField);
  return x > field.left && x < field.right && y > height - 2 * bar && y < height;
}

void ToggleMainHidden(ui::Ui& ui) {
  if (MainHidden == 1) {
    MainHidden = 0;
    ui.SetMenuItemText(kItemHideRestore, "Ausblenden");
    ui.ShowWindow(kMainWindow, true);
    ui.Focus(kMainWindow, kQueryField);
  } else {
    MainHidden = 1;
    ui.SetMenuItemText(kItemHideRestore, "Wiederherstellen");
    ui.ShowWindow(kMainWindow, false);
  }
}

std::string AboutText() {
  return std::string("Tandrel ") + kProgramVersion + "\n" + "Index enth\xE4lt " +
         std::to_string(index::CurrentLiveIndex().LiveCount()) + " Dateien.\n\n" +
         "\xA9 2009 Tandrel Software\n"
         "E-Mail: kontakt@tandrel.de\n"
         "Web: www.tandrel.de";
}

void ShowAbout(ui::Ui& ui) { ui.ShowMessage("Tandrel", AboutText()); }

void SelectAllResults(ui::Ui& ui) {
  // One call selects every row of the owner-data list, however many there are.
  ui.SelectRow(kMainWindow, kResultList, -1);
}

}  // namespace tandrel::app
