// The fixed numbers of windows, controls, menus, items, images and status-bar fields, each
// number space its own type (platform/window/values.h). A menu item's number is also its
// event id; the two shortcuts raise ids in the same space. (The build writes these
// numbers into a Python module for the end-to-end tests, object_numbers.py.)
#pragma once

#include "platform/window/values.h"

namespace tandrel::app {

// Windows
inline constexpr ui::WindowId kMainWindow{0};
inline constexpr ui::WindowId kFolderDialog{1};
inline constexpr ui::WindowId kSettingsDialog{2};
inline constexpr ui::WindowId kSplashWindow{3};

// Controls of MainWindow
inline constexpr ui::ControlId kQueryField{1};
inline constexpr ui::ControlId kResultList{2};
inline constexpr ui::ControlId kSearchButton{3};
inline constexpr ui::ControlId kFoldersCheckBox{4};
inline constexpr ui::ControlId kFilesCheckBox{5};
inline constexpr ui::ControlId kProgressBar{6};
// Control of SplashWindow
inline constexpr ui::ControlId kSplashPicture{0};
// Controls of FolderDialog
inline constexpr ui::ControlId kFolderList{11};
inline constexpr ui::ControlId kFolderTree{12};
inline constexpr ui::ControlId kFolderSplitter{13};
inline constexpr ui::ControlId kFolderCancelButton{16};
inline constexpr ui::ControlId kFolderApplyButton{17};
// Controls of SettingsDialog
inline constexpr ui::ControlId kSettingsApplyButton{18};
inline constexpr ui::ControlId kAutostartCheckBox{19};

// Menus
inline constexpr ui::MenuId kResultMenu{7};
inline constexpr ui::MenuId kCancelMenu{8};
inline constexpr ui::MenuId kMainMenu{9};
inline constexpr ui::MenuId kTrayMenu{10};
inline constexpr ui::MenuId kTreeMenu{14};
inline constexpr ui::MenuId kFolderListMenu{15};

// Menu items and shortcuts (event ids)
inline constexpr ui::ItemId kItemManageFolders{1};
inline constexpr ui::ItemId kItemUpdateIndex{2};
inline constexpr ui::ItemId kItemHelp{3};
inline constexpr ui::ItemId kItemAbout{4};
inline constexpr ui::ItemId kItemOpen{5};
inline constexpr ui::ItemId kItemOpenFolder{6};
inline constexpr ui::ItemId kItemCopyTo{7};
inline constexpr ui::ItemId kItemAddFolder{8};
inline constexpr ui::ItemId kItemRemoveFolder{9};
inline constexpr ui::ItemId kItemCancelCopy{10};
inline constexpr ui::ItemId kItemSettings{11};
inline constexpr ui::ItemId kItemQuit{12};
inline constexpr ui::ItemId kItemHideRestore{13};
inline constexpr ui::ItemId kItemTrayAbout{14};
inline constexpr ui::ItemId kItemTrayQuit{15};
inline constexpr ui::ItemId kItemProgramUpdate{16};
inline constexpr ui::ItemId kItemShellMenu{17};  // the shell's own menu for the hits
inline constexpr ui::ItemId kShortcutSelectAll{98};
inline constexpr ui::ItemId kShortcutSearch{99};

// Images
inline constexpr ui::ImageId kImageManageFolders{2};
inline constexpr ui::ImageId kImageUpdateIndex{3};
inline constexpr ui::ImageId kImageHelp{4};
inline constexpr ui::ImageId kImageAbout{5};
inline constexpr ui::ImageId kTrayIdleIcon{6};
inline constexpr ui::ImageId kTrayBusyIcon{7};
inline constexpr ui::ImageId kImageQuit{8};
inline constexpr ui::ImageId kImageSettings{9};
inline constexpr ui::ImageId kImageProgramUpdate{10};

// Status bar fields
inline constexpr ui::FieldId kHitCountField{0};
inline constexpr ui::FieldId kStateField{1};
inline constexpr ui::FieldId kCopyField{2};
inline constexpr ui::FieldId kProgressField{3};

}  // namespace tandrel::app
