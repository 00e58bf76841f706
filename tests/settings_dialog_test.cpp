// The settings dialog and the autostart registration on the headless window layer. The
// registration goes to the registry's stand-in natively and to Wine's registry there.
#include <gtest/gtest.h>

#include "dialog_test_support.h"
#include "platform/platform.h"
#include "platform/registry.h"
#include "platform/registry_testing.h"

namespace tandrel::app {
namespace {

using ui::HeadlessUi;

using platform::RegistryRoot;

std::optional<std::string> RunValue(RegistryRoot root = RegistryRoot::kMachine) {
  return platform::ReadRegistryString(root, kRunKey, kRunValueName);
}

class SettingsDialogTest : public test::DialogTest {
 protected:
  void TearDown() override {
    settings::AutostartFlag = 0;
    EXPECT_TRUE(SyncAutostart());  // no registration outlives the test
    test::DialogTest::TearDown();
  }
  void OpenDialog() { Choose(kItemSettings, kMainWindow); }
  void SetBoxAndApply(bool checked) {
    OpenDialog();
    ui_.SetChecked(kSettingsDialog, kAutostartCheckBox, checked);
    Dispatch(ui::ControlEvent(kSettingsDialog, kAutostartCheckBox, ui::Action::kLeftClick));
    Click(kSettingsDialog, kSettingsApplyButton);
  }
  bool BoxChecked() const { return ui_.IsChecked(kSettingsDialog, kAutostartCheckBox); }
  // Quoted: the system reads the value as a command line.
  const std::string expected_value_ = "\"" + platform::ProgramFolder() + "Vexoran.exe\"";
};

TEST_F(SettingsDialogTest, OpensFixedAboveTheDisabledMainWindow) {
  OpenDialog();
  const HeadlessUi::Window* dialog = ui_.FindWindow(kSettingsDialog);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->title, "Tandrel - Einstellungen");
  EXPECT_EQ(dialog->style, ui::WindowStyle::kFixedDialog);
  EXPECT_EQ(std::make_pair(dialog->width, dialog->height), std::make_pair(200, 100));
  EXPECT_TRUE(dialog->on_top);
  EXPECT_FALSE(MainEnabled());
  EXPECT_EQ(RectOf(kSettingsDialog, kAutostartCheckBox), (ui::Rect{2, 2, 196, 20}));
  EXPECT_EQ(ui_.Text(kSettingsDialog, kAutostartCheckBox), "Bei Systemstart Index erneuern");
  EXPECT_EQ(ui_.FindControl(kSettingsDialog, kAutostartCheckBox)->kind, HeadlessUi::ControlKind::kCheckBox);
  EXPECT_EQ(RectOf(kSettingsDialog, kSettingsApplyButton), (ui::Rect{50, 80, 98, 20}));
  EXPECT_EQ(ui_.Text(kSettingsDialog, kSettingsApplyButton), "\xDC" "bernehmen");
  EXPECT_FALSE(BoxChecked());
}

TEST_F(SettingsDialogTest, ApplyingRegistersAtOnceAndTheCloseBoxChangesNothing) {
  ASSERT_TRUE(test::WriteWholeFile(settings::kSettingsFileName, "0\r\nD:\\A\r\n"));
  settings::ReadSettings();
  SetBoxAndApply(true);
  EXPECT_EQ(settings::AutostartFlag, 1);
  EXPECT_FALSE(ui_.WindowExists(kSettingsDialog));
  ExpectMainWindowBack();
  EXPECT_EQ(RunValue(), expected_value_);
  EXPECT_EQ(test::ReadWholeFile(settings::kSettingsFileName), "0\r\nD:\\A\r\n") << "the file gets the flag at quit";

  OpenDialog();
  EXPECT_TRUE(BoxChecked());
  ui_.SetChecked(kSettingsDialog, kAutostartCheckBox, false);
  CloseBox(kSettingsDialog);
  EXPECT_FALSE(ui_.WindowExists(kSettingsDialog));
  ExpectMainWindowBack();
  EXPECT_EQ(settings::AutostartFlag, 1);
  EXPECT_EQ(RunValue(), expected_value_);

  SetBoxAndApply(false);
  EXPECT_EQ(settings::AutostartFlag, 0);
  EXPECT_EQ(RunValue(), std::nullopt);
}

// A second "Übernehmen" handled after the dialog closed would read its box as unchecked.
TEST_F(SettingsDialogTest, EventsOfTheClosedDialogChangeNothing) {
  const ui::Event apply = ui::ControlEvent(kSettingsDialog, kSettingsApplyButton, ui::Action::kLeftClick);
  OpenDialog();
  ui_.SetChecked(kSettingsDialog, kAutostartCheckBox, true);
  ui_.Push(apply);
  ui_.Push(apply);
  ui_.Push({ui::EventKind::kClose, kSettingsDialog});
  for (int i = 0; i < 3; ++i) Dispatch(ui_.WaitEvent(0));
  Dispatch(apply);
  ApplySettingsDialog(ui_);
  CloseSettingsDialog(ui_);
  EXPECT_EQ(settings::AutostartFlag, 1);
  EXPECT_EQ(RunValue(), expected_value_);
  ExpectMainWindowBack();
}

TEST_F(SettingsDialogTest, OnlyOneRegistersThoughEveryOtherNonZeroShowsChecked) {
  ASSERT_TRUE(test::WriteWholeFile(settings::kSettingsFileName, "2\r\n"));
  settings::ReadSettings();
  settings::AutostartFlag = 1;
  ASSERT_TRUE(SyncAutostart());
  ASSERT_EQ(RunValue(), expected_value_);
  settings::ReadSettings();
  EXPECT_TRUE(SyncAutostart());  // as at start-up
  EXPECT_EQ(RunValue(), std::nullopt) << "2 counts as off";
  OpenDialog();
  EXPECT_TRUE(BoxChecked());
  Click(kSettingsDialog, kSettingsApplyButton);
  EXPECT_EQ(settings::AutostartFlag, 1);
  EXPECT_EQ(RunValue(), expected_value_);
}

TEST_F(SettingsDialogTest, SyncWritesOverwritesAndDeletesWithoutComplaint) {
  ASSERT_TRUE(platform::RegistryKey(RegistryRoot::kMachine, kRunKey).SetString(kRunValueName, "C:\\Alt\\Vexoran.exe"));
  settings::AutostartFlag = 1;
  EXPECT_TRUE(SyncAutostart());
  EXPECT_EQ(RunValue(), expected_value_) << "an older value is overwritten";
  settings::AutostartFlag = -1;
  EXPECT_TRUE(SyncAutostart());
  EXPECT_EQ(RunValue(), std::nullopt);
  EXPECT_TRUE(SyncAutostart()) << "deleting a value that is gone is no error";
  EXPECT_EQ(RunValue(), std::nullopt);
  EXPECT_TRUE(ui_.MessageBoxes().empty());
}

#ifndef _WIN32
// A standard user cannot write the machine's Run key: the user's own takes the value, and
// whichever root holds it, there is one registration, never two.
TEST_F(SettingsDialogTest, WithoutTheMachineKeyTheUsersRunKeyRegistersOnce) {
  platform::RefuseRegistryKeys(RegistryRoot::kMachine, true);
  SetBoxAndApply(true);
  EXPECT_EQ(RunValue(RegistryRoot::kUser), expected_value_);
  EXPECT_EQ(RunValue(), std::nullopt);
  EXPECT_TRUE(ui_.MessageBoxes().empty());
  platform::RefuseRegistryKeys(RegistryRoot::kMachine, false);
  EXPECT_TRUE(SyncAutostart()) << "with rights again (an administrator's start)";
  EXPECT_EQ(RunValue(), expected_value_);
  EXPECT_EQ(RunValue(RegistryRoot::kUser), std::nullopt) << "moved, not copied";

  // An administrator's value that this user cannot touch stands; the user adds none.
  platform::RefuseRegistryKeys(RegistryRoot::kMachine, true);
  EXPECT_TRUE(SyncAutostart());
  EXPECT_EQ(RunValue(RegistryRoot::kUser), std::nullopt);
  SetBoxAndApply(false);
  ASSERT_EQ(ui_.MessageBoxes().size(), 1u) << "a value that cannot be removed is reported";
  EXPECT_EQ(ui_.MessageBoxes()[0].second, "Der Autostart konnte nicht entfernt werden.");
  platform::RefuseRegistryKeys(RegistryRoot::kMachine, false);
}

TEST_F(SettingsDialogTest, ARegistrationThatFailsEverywhereIsReported) {
  platform::RefuseRegistryKeys(RegistryRoot::kMachine, true);
  platform::RefuseRegistryKeys(RegistryRoot::kUser, true);
  SetBoxAndApply(true);
  EXPECT_EQ(settings::AutostartFlag, 1) << "the flag takes the new value all the same";
  platform::RefuseRegistryKeys(RegistryRoot::kMachine, false);
  platform::RefuseRegistryKeys(RegistryRoot::kUser, false);
  EXPECT_EQ(RunValue(), std::nullopt);
  EXPECT_EQ(RunValue(RegistryRoot::kUser), std::nullopt);
  ASSERT_EQ(ui_.MessageBoxes().size(), 1u);
  EXPECT_EQ(ui_.MessageBoxes()[0], std::make_pair(std::string("Warnung"),
                                                  std::string("Der Autostart konnte nicht eingetragen werden.")));
}

// The hand-over ends the process, so it runs in a child; the file it leaves is checked.
TEST_F(SettingsDialogTest, TheUpdateHandOverStoresTheFlagAsQuittingDoes) {
  ASSERT_TRUE(test::WriteWholeFile(settings::kSettingsFileName, "0\r\nD:\\A\r\n"));
  settings::ReadSettings();
  SetBoxAndApply(true);
  EXPECT_EXIT(Choose(kItemProgramUpdate, kMainWindow), testing::ExitedWithCode(0), "");
  EXPECT_EQ(test::ReadWholeFile(settings::kSettingsFileName), "1\r\nD:\\A\r\n");
}
#endif

// Opening the folder dialog reads settings.conf, which holds the older flag until quit;
// the value applied in this session stays.
TEST_F(SettingsDialogTest, AnAppliedFlagSurvivesTheFolderDialogUntilStored) {
  ASSERT_TRUE(test::WriteWholeFile(settings::kSettingsFileName, "0\r\nD:\\A\r\nD:\\B\r\n"));
  settings::ReadSettings();
  SetBoxAndApply(true);
  Choose(kItemManageFolders, kMainWindow);
  EXPECT_EQ(settings::AutostartFlag, 1) << "opening";
  ui_.SelectRow(kFolderDialog, kFolderList, 0);
  Choose(kItemRemoveFolder, kFolderDialog);
  EXPECT_EQ(settings::AutostartFlag, 1) << "removing";
  Click(kFolderDialog, kFolderCancelButton);
  EXPECT_EQ(settings::AutostartFlag, 1) << "cancelling";
  EXPECT_EQ(RunValue(), expected_value_);

  Choose(kItemManageFolders, kMainWindow);
  Click(kFolderDialog, kFolderApplyButton);
  EXPECT_EQ(test::ReadWholeFile(settings::kSettingsFileName), "1\r\nD:\\A\r\nD:\\B\r\n") << "applying stores it";
  EXPECT_EQ(settings::AutostartFlag, 1);
}

TEST_F(SettingsDialogTest, WithoutAnApplyTheFolderDialogTakesTheFilesFlag) {
  settings::ReadSettings();
  ASSERT_EQ(settings::AutostartFlag, 0);
  ASSERT_TRUE(test::WriteWholeFile(settings::kSettingsFileName, "1\r\nD:\\A\r\n"));  // edited by hand meanwhile
  Choose(kItemManageFolders, kMainWindow);
  EXPECT_EQ(settings::AutostartFlag, 1);
  CloseBox(kFolderDialog);
  OpenDialog();
  EXPECT_TRUE(BoxChecked());
}

}  // namespace
}  // namespace tandrel::app
