// The fixed numbers of windows, controls, menus, items, images and fonts. A menu item's
// number is also its event id; the two shortcuts raise ids in the same space.
#pragma once

namespace tandrel {

// Windows
inline constexpr int kMainWindow = 0;
inline constexpr int kFolderDialog = 1;
inline constexpr int kSettingsDialog = 2;
inline constexpr int kSplashWindow = 3;

// Controls of MainWindow
inline constexpr int kQueryField = 1;
inline constexpr int kResultList = 2;
inline constexpr int kSearchButton = 3;
inline constexpr int kFoldersCheckBox = 4;
inline constexpr int kFilesCheckBox = 5;
inline constexpr int kProgressBar = 6;
// Control of SplashWindow
inline constexpr int kSplashPicture = 0;
// Controls of FolderDialog
inline constexpr int kFolderList = 11;
inline constexpr int kFolderTree = 12;
inline constexpr int kFolderSplitter = 13;
inline constexpr int kFolderCancelButton = 16;
inline constexpr int kFolderApplyButton = 17;
// Controls of SettingsDialog
inline constexpr int kSettingsApplyButton = 18;
inline constexpr int kAutostartCheckBox = 19;

// Menus
inline constexpr int kResultMenu = 7;
inline constexpr int kCancelMenu = 8;
inline constexpr int kMainMenu = 9;
inline constexpr int kTrayMenu = 10;
inline constexpr int kTreeMenu = 14;
inline constexpr int kFolderListMenu = 15;

// Menu items and shortcuts (event ids)
inline constexpr int kItemManageFolders = 1;
inline constexpr int kItemUpdateIndex = 2;
inline constexpr int kItemHelp = 3;
inline constexpr int kItemAbout = 4;
inline constexpr int kItemOpen = 5;
inline constexpr int kItemOpenFolder = 6;
inline constexpr int kItemCopyTo = 7;
inline constexpr int kItemAddFolder = 8;
inline constexpr int kItemRemoveFolder = 9;
inline constexpr int kItemCancelCopy = 10;
inline constexpr int kItemSettings = 11;
inline constexpr int kItemQuit = 12;
inline constexpr int kItemHideRestore = 13;
inline constexpr int kItemTrayAbout = 14;
inline constexpr int kItemTrayQuit = 15;
inline constexpr int kItemProgramUpdate = 16;
inline constexpr int kShortcutSelectAll = 98;
inline constexpr int kShortcutSearch = 99;

// Images
inline constexpr int kImageManageFolders = 2;
inline constexpr int kImageUpdateIndex = 3;
inline constexpr int kImageHelp = 4;
inline constexpr int kImageAbout = 5;
inline constexpr int kTrayIdleIcon = 6;
inline constexpr int kTrayBusyIcon = 7;
inline constexpr int kImageQuit = 8;
inline constexpr int kImageSettings = 9;
inline constexpr int kImageProgramUpdate = 10;

// Status bar fields
inline constexpr int kHitCountField = 0;
inline constexpr int kStateField = 1;
inline constexpr int kCopyField = 2;
inline constexpr int kProgressField = 3;

}  // namespace tandrel
