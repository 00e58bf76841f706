// A main window on the headless layer and the dialogs opened from it, as the event loop
// drives them.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/dialogs.h"
#include "app/handlers.h"
#include "app/indexing_run_testing.h"
#include "app/object_numbers.h"
#include "app/shell.h"
#include "settings/settings.h"
#include "test_support.h"
#include "tests/support/headless_ui.h"

namespace tandrel::test {

class DialogTest : public ScratchCurrentFolder {
 protected:
  void SetUp() override {
    ScratchCurrentFolder::SetUp();
    ResetSettings();
    app::OpenMainWindow(ui_);
  }
  void TearDown() override {
    app::WaitForIndexingRuns();  // an applied folder list started one; it posts to ui_
    ResetSettings();
    ScratchCurrentFolder::TearDown();
  }
  static void ResetSettings() {
    settings::AutostartFlag = 0;
    settings::SettingsSession.Reset();
    settings::IndexedFolders.fill(std::string());
  }

  void Dispatch(const ui::Event& event) { ASSERT_TRUE(app::DispatchEvent(ui_, event)); }
  void Choose(ui::ItemId item, ui::WindowId window) { Dispatch(ui::MenuEvent(window, item)); }
  void Click(ui::WindowId window, ui::ControlId id) { Dispatch(ui::ControlEvent(window, id, ui::Action::kLeftClick)); }
  void RightClick(ui::WindowId window, ui::ControlId id) {
    Dispatch(ui::ControlEvent(window, id, ui::Action::kRightClick));
  }
  void CloseBox(ui::WindowId window) { Dispatch({ui::EventKind::kClose, window}); }
  void ResizeTo(ui::WindowId window, int width, int height) {
    ui_.Resize(window, width, height);
    Dispatch(ui_.WaitEvent(5));
  }

  ui::Rect RectOf(ui::WindowId window, ui::ControlId id) const {
    const auto rect = ui_.ControlRect(window, id);
    return rect ? *rect : ui::Rect{-1, -1, -1, -1};
  }
  std::vector<std::string> ListedFolders() const {
    std::vector<std::string> rows;
    const ui::HeadlessUi::Control* list = ui_.FindControl(app::kFolderDialog, app::kFolderList);
    if (list == nullptr || !list->rows) return rows;
    for (std::int32_t r = 0; r < list->rows->RowCount(); ++r) rows.emplace_back(list->rows->Cell(r, 0));
    return rows;
  }
  // The main window as a closed dialog leaves it: enabled and the active window.
  void ExpectMainWindowBack() const {
    const ui::HeadlessUi::Window* main = ui_.FindWindow(app::kMainWindow);
    ASSERT_NE(main, nullptr);
    EXPECT_TRUE(main->enabled);
    EXPECT_TRUE(main->active);
  }
  bool MainEnabled() const { return ui_.FindWindow(app::kMainWindow)->enabled; }

  ui::HeadlessUi ui_;
};

}  // namespace tandrel::test
