// The application shell on the headless window layer: start-up, dispatch and quit.
#include <gtest/gtest.h>

#include <atomic>

#include "app/handlers.h"
#include "app/object_numbers.h"
#include "app/shell.h"
#include "index/index.h"
#include "settings/settings.h"
#include "test_support.h"
#include "tests/support/headless_ui.h"

namespace tandrel::app {
namespace {

using ui::Event;
using ui::EventKind;
using ui::HeadlessUi;

class ShellTest : public test::ScratchCurrentFolder {
 protected:
  void Start() {
    StartUp(ui_);
    ui_.ApplyPosted();
  }
  // The start-up began the live index, which posts to this test's window.
  void TearDown() override {
    StopLiveIndex();
    test::ScratchCurrentFolder::TearDown();
  }
  bool Dispatch(const Event& event) {
    const bool go_on = DispatchEvent(ui_, event);
    ui_.ApplyPosted();
    return go_on;
  }
  ui::Rect RectOf(ui::ControlId id) const { return *ui_.ControlRect(kMainWindow, id); }
  HeadlessUi ui_;
};

TEST_F(ShellTest, StartUpShowsTheSplashThenTheMainWindow) {
  ASSERT_TRUE(test::WriteWholeFile("update.exe", "old updater"));
  Start();
  EXPECT_FALSE(test::FileExists("update.exe"));
  EXPECT_EQ(ui_.DrawnTexts(), std::vector<std::string>{"5,180:V 1.3.9"});
  EXPECT_EQ(ui_.LoadedIcons().size(), 9u) << "every carried icon decodes";
  EXPECT_FALSE(ui_.WindowExists(kSplashWindow)) << "the splash is closed";

  const HeadlessUi::Window* main = ui_.FindWindow(kMainWindow);
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(main->title, "Tandrel");
  EXPECT_TRUE(main->flicker_free);
  EXPECT_EQ(ui_.StatusText(kHitCountField), "Gefunden: 0");
  EXPECT_EQ(ui_.StatusText(kStateField), "\tBereit");
  EXPECT_EQ(ui_.StatusText(kCopyField), "");
  EXPECT_TRUE(ui_.TrayPresent());
  EXPECT_EQ(ui_.TrayImage(), kTrayIdleIcon);
  EXPECT_EQ(ui_.TrayTooltip(), "Tandrel");
  EXPECT_TRUE(ui_.IsChecked(kMainWindow, kFoldersCheckBox));
  EXPECT_TRUE(ui_.IsChecked(kMainWindow, kFilesCheckBox));
  EXPECT_EQ(search_window::FoldersOption.load(), 1);
  EXPECT_EQ(search_window::FilesOption.load(), 1);
  EXPECT_EQ(ui_.FocusedControl(), std::make_pair(kMainWindow, kQueryField));
  EXPECT_EQ(ui_.TabOrder(kMainWindow),
            (std::vector<ui::ControlId>{kQueryField, kSearchButton, kFoldersCheckBox, kFilesCheckBox, kResultList}));
  EXPECT_EQ(ui_.Shortcuts().size(), 2u);
  EXPECT_EQ(test::ReadWholeFile(settings::kSettingsFileName), "") << "a missing settings file is created empty";
  EXPECT_EQ(ui_.MenuItemText(kItemHideRestore), "Ausblenden");
  EXPECT_EQ(ui_.MenuItemText(kItemAbout), "\xDC" "ber");
}

TEST_F(ShellTest, SplashFadesInFiftyTwoStepsAndHoldsItsTime) {
  HeadlessUi ui;
  ui::Picture picture{400, 200, std::vector<std::uint8_t>(400 * 200 * 4, 255)};
  ShowSplash(ui, picture, "Lade...");
  const HeadlessUi::Window* splash = ui.FindWindow(kSplashWindow);
  ASSERT_NE(splash, nullptr);
  EXPECT_EQ(splash->title, "Lade...");
  EXPECT_EQ(splash->width, 400);
  ASSERT_EQ(splash->opacity_steps.size(), 53u) << "the initial 0, then 0, 5, ..., 255";
  EXPECT_EQ(splash->opacity_steps[1], 0);
  EXPECT_EQ(splash->opacity_steps.back(), 255);
  EXPECT_EQ(ui.HandledPendingEvents(), 52);

  const std::uint32_t start = platform::TickCount();
  Start();
  EXPECT_GE(platform::TickCount() - start, 600u) << "the splash holds past the fade-in";
}

TEST_F(ShellTest, LayoutFollowsTheRuleAtCreationAndAtTheMinimumSize) {
  Start();
  const int sb = HeadlessUi::kStatusBarHeight;
  EXPECT_EQ(RectOf(kQueryField), (ui::Rect{2, 6, 830, 25}));
  EXPECT_EQ(RectOf(kSearchButton), (ui::Rect{836, 6, 62, 44}));
  EXPECT_EQ(RectOf(kResultList), (ui::Rect{2, 52, 896, 600 - sb - 78}));
  EXPECT_EQ(ui_.FindControl(kMainWindow, kResultList)->widths, (std::vector<int>{308, 572}));

  ui_.Resize(kMainWindow, 100, 100);  // dragged far below the bounds
  ASSERT_TRUE(Dispatch(ui_.WaitEvent(5)));
  EXPECT_EQ(RectOf(kQueryField).width, 530);
  EXPECT_EQ(RectOf(kSearchButton).x, 536);
  EXPECT_EQ(RectOf(kFoldersCheckBox).x, 428);
  EXPECT_EQ(RectOf(kFilesCheckBox).x, 488);
  EXPECT_EQ(RectOf(kProgressBar).width, 420);
  EXPECT_EQ(RectOf(kResultList), (ui::Rect{2, 52, 596, 250 - sb - 78}));
  const auto& widths = ui_.FindControl(kMainWindow, kResultList)->widths;
  EXPECT_EQ(widths[0], 203);
  EXPECT_EQ(widths[1], 596 - 203) << "column 1 fills the header after creation";

  ui_.Resize(kMainWindow, 5000, 5000);
  ASSERT_TRUE(Dispatch(ui_.WaitEvent(5)));
  EXPECT_EQ(RectOf(kResultList).width, 1996);
}

TEST_F(ShellTest, CheckBoxesAreNeverBothOff) {
  Start();
  ui_.SetChecked(kMainWindow, kFoldersCheckBox, false);
  Dispatch(ui::ControlEvent(kMainWindow, kFoldersCheckBox, ui::Action::kLeftClick));
  EXPECT_EQ(search_window::FoldersOption.load(), 0);
  EXPECT_EQ(search_window::FilesOption.load(), 1);
  ui_.SetChecked(kMainWindow, kFilesCheckBox, false);
  Dispatch(ui::ControlEvent(kMainWindow, kFilesCheckBox, ui::Action::kLeftClick));
  EXPECT_TRUE(ui_.IsChecked(kMainWindow, kFoldersCheckBox)) << "the other box comes back on";
  EXPECT_EQ(search_window::FoldersOption.load(), 1);
  EXPECT_EQ(search_window::FilesOption.load(), 0);
}

TEST_F(ShellTest, HideRestoreAboutHelpAndTheCancelMenu) {
  {
    platform::File db(index::kIndexFileName, platform::OpenMode::kCreate);
    for (int i = 0; i < 3; ++i) index::WriteIndexRecord(db, "f" + std::to_string(i), "C:", index::kEntryFile);
  }
  Start();
  // Typing goes to the query field after a restore and after a click on "Suchen".
  ui_.Focus(kMainWindow, kResultList);
  Dispatch({.kind = EventKind::kTray, .window = kMainWindow, .action = ui::Action::kLeftDoubleClick});
  EXPECT_FALSE(ui_.FindWindow(kMainWindow)->shown);
  EXPECT_EQ(ui_.MenuItemText(kItemHideRestore), "Wiederherstellen");
  Dispatch(ui::MenuEvent(kMainWindow, kItemHideRestore));
  EXPECT_TRUE(ui_.FindWindow(kMainWindow)->shown);
  EXPECT_EQ(ui_.FocusedControl(), std::make_pair(kMainWindow, kQueryField));
  ui_.Focus(kMainWindow, kSearchButton);
  Dispatch(ui::ControlEvent(kMainWindow, kSearchButton, ui::Action::kLeftClick));
  EXPECT_EQ(ui_.FocusedControl(), std::make_pair(kMainWindow, kQueryField));
  EXPECT_EQ(ui_.MenuItemText(kItemHideRestore), "Ausblenden");

  Dispatch(ui::MenuEvent(kMainWindow, kItemAbout));
  Dispatch(ui::MenuEvent(kMainWindow, kItemHelp));
  ASSERT_EQ(ui_.MessageBoxes().size(), 2u);
  EXPECT_EQ(ui_.MessageBoxes()[0].first, "Tandrel");
  const std::string about_start = "Tandrel 1.3.9\nIndex enth\xE4lt 3 Dateien.\n\n\xA9 2009";
  EXPECT_EQ(ui_.MessageBoxes()[0].second.substr(0, about_start.size()), about_start);
  EXPECT_EQ(ui_.MessageBoxes()[1], (std::pair<std::string, std::string>{"Fehler", "Kann Hilfe nicht finden!"}));

  const int y = 600 - HeadlessUi::kStatusBarHeight / 2;
  for (int x : {240, 360}) Dispatch({.kind = EventKind::kRightButtonDown, .window = kMainWindow, .x = x, .y = y});
  EXPECT_TRUE(ui_.PopupsShown().empty()) << "the field's edges do not count";
  Dispatch({.kind = EventKind::kRightButtonDown, .window = kMainWindow, .x = 241, .y = y});
  Dispatch({.kind = EventKind::kRightButtonDown, .window = kMainWindow, .x = 300, .y = 100});
  Dispatch({.kind = EventKind::kTray, .window = kMainWindow, .action = ui::Action::kRightButton});
  Dispatch(ui::ControlEvent(kMainWindow, kResultList, ui::Action::kRightClick));
  EXPECT_EQ(ui_.PopupsShown(), (std::vector<ui::MenuId>{kCancelMenu, kTrayMenu}))
      << "no result menu over an empty list";
}

TEST_F(ShellTest, QuitStoresOnlyTheFlagLine) {
  ASSERT_TRUE(test::WriteWholeFile(settings::kSettingsFileName, "0\r\nD:\\Daten\r\nE:\\Archiv\r\n"));
  Start();
  EXPECT_EQ(settings::IndexedFolders[1], "E:\\Archiv");
  EXPECT_TRUE(Dispatch({EventKind::kClose, kSplashWindow}));
  EXPECT_FALSE(Dispatch(ui::MenuEvent(kMainWindow, kItemTrayQuit)));
  EXPECT_FALSE(Dispatch(ui::MenuEvent(kMainWindow, kItemQuit)));
  EXPECT_FALSE(Dispatch({EventKind::kClose, kMainWindow}));
  settings::AutostartFlag = 1;  // as the settings dialog will set it
  QuitProgram(ui_);
  EXPECT_FALSE(ui_.WindowExists(kMainWindow));
  EXPECT_FALSE(ui_.TrayPresent());
  EXPECT_TRUE(ui_.TrayRemovedWhileItsWindowExisted()) << "a removal naming a closed window fails";
  EXPECT_EQ(test::ReadWholeFile(settings::kSettingsFileName), "1\r\nD:\\Daten\r\nE:\\Archiv\r\n");
  settings::AutostartFlag = 0;
}

// Shows its first status text the slow way, as a window call that takes a while: it
// returns once a worker has posted one of everything, or gives up after 20 seconds.
class SlowShowingUi : public HeadlessUi {
 public:
  platform::Event showing;
  platform::Event worker_posted;
  bool posted_while_showing = false;

 protected:
  void ApplyStatusText(ui::FieldId field, const std::string& text) override {
    if (!slow_done_) {
      slow_done_ = true;
      showing.Set();
      posted_while_showing = worker_posted.WaitFor(20000);
    }
    HeadlessUi::ApplyStatusText(field, text);
  }

 private:
  bool slow_done_ = false;
};

TEST(PostedUpdatesTest, WorkersNeverWaitAndTheNewestValueWins) {
  // Run under ThreadSanitizer too: workers post while the main thread shows.
  SlowShowingUi ui;
  ui.OpenWindow(kMainWindow, ui::WindowStyle::kMain, "Tandrel", 900, 600);
  ui.AddStatusBar(kMainWindow, {120, 120, 120, -1});
  ui.AddProgressBar(kMainWindow, kProgressBar, {3, 35, 720, 13}, 100);
  ui.DefinePopupMenu(kMainMenu, {{kItemUpdateIndex, "Aktualisieren"}});
  ui.AddTrayIcon(kMainWindow, kTrayIdleIcon, "Tandrel");
  {
    platform::Thread worker;
    ASSERT_TRUE(worker.Start([&ui](const platform::StopToken&) {
      if (!ui.showing.WaitFor(20000)) return;
      ui.PostStatusText(ui::FieldId{2}, "\tw");
      ui.PostProgress(2000, 7);
      ui.PostMenuItemEnabled(kItemUpdateIndex, false);
      ui.PostTrayTooltip("w");
      ui.worker_posted.Set();
    }));
    ui.PostStatusText(ui::FieldId{1}, "\tmain");
    ui.ApplyPosted();
    worker.Wait();
    EXPECT_TRUE(ui.posted_while_showing) << "a worker waited for the main thread to show";
    ui.ApplyPosted();
    EXPECT_EQ(ui.StatusText(ui::FieldId{2}), "\tw");
    EXPECT_EQ(ui.FindControl(kMainWindow, kProgressBar)->progress_pos, 7);
  }
  std::vector<platform::Thread> workers(3);
  for (int w = 0; w < 3; ++w) {
    ASSERT_TRUE(workers[static_cast<std::size_t>(w)].Start([&ui, w](const platform::StopToken&) {
      for (int i = 0; i <= 2000; ++i) {
        ui.PostStatusText(ui::FieldId{w + 1}, "\t" + std::to_string(i));
        ui.PostProgress(2000, i);
        ui.PostMenuItemEnabled(kItemUpdateIndex, i % 2 == 0);
        ui.PostTrayTooltip(std::string(100, 'x'));
      }
    }));
  }
  platform::Thread main;
  ASSERT_TRUE(main.Start([&](const platform::StopToken& stop) {
    while (!stop.StopRequested()) ui.WaitEvent(0);
  }));
  for (platform::Thread& worker : workers) worker.Wait();
  main.RequestStop();
  main.Wait();
  ui.ApplyPosted();
  for (int field = 1; field <= 3; ++field) EXPECT_EQ(ui.StatusText(ui::FieldId{field}), "\t2000");
  EXPECT_EQ(ui.FindControl(kMainWindow, kProgressBar)->progress_pos, 2000);
  EXPECT_TRUE(ui.MenuItemEnabled(kItemUpdateIndex));
  EXPECT_EQ(ui.TrayTooltip().size(), 63u) << "a tooltip is cut to 63 characters";
}

}  // namespace
}  // namespace tandrel::app
