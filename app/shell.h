// The application shell's own pieces, shared by its files and its tests.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

#include "app/object_numbers.h"
#include "app/program_version.h"
#include "platform/window/ui.h"
#include "search/actions/result_actions.h"
#include "search/window/search_window.h"

namespace tandrel::app {

inline constexpr char kUpdaterFileName[] = "update.exe";

// Main-thread state of the shell.
// Written and read by the main thread only.
extern int MainHidden;

// The main window's controls as the search sees them.
inline constexpr search_window::SearchControls kSearchControls{
    .window = kMainWindow,
    .query_field = kQueryField,
    .folders_check_box = kFoldersCheckBox,
    .files_check_box = kFilesCheckBox,
    .result_list = kResultList,
    .progress_bar = kProgressBar,
    .hit_count_field = kHitCountField,
    .state_field = kStateField,
    .item_manage_folders = kItemManageFolders,
    .item_update_index = kItemUpdateIndex,
};

// The main window's controls as the result actions see them.
inline constexpr actions::ResultControls kResultControls{
    .window = kMainWindow,
    .result_list = kResultList,
    .copy_field = kCopyField,
    .name_field = kProgressField,
    .state_field = kStateField,
};

// Start-up, loop and quit.
void StartUp(ui::Ui& ui);
void ShowSplash(ui::Ui& ui, const ui::Picture& picture, std::string_view caption);
void EventLoop(ui::Ui& ui);
// Handles one event; false when the loop is to be left.
bool DispatchEvent(ui::Ui& ui, const ui::Event& event);
void QuitProgram(ui::Ui& ui);

// The main window.
void OpenMainWindow(ui::Ui& ui);
void LayoutMainWindow(ui::Ui& ui, int width, int height, int status_height);
// The status bar's outer height, noted when the bar is created.
int StatusBarHeight();
// The status bar's field widths, from field 0 on; the last takes the rest of the bar.
inline constexpr std::array<int, 4> kStatusFieldWidths{120, 120, 120, -1};
// Where a field of the status bar begins and ends, left to right (not the last field).
struct FieldSpan {
  int left = 0;
  int right = 0;
};
FieldSpan StatusFieldSpan(ui::FieldId field);

// Small actions of the loop.
void ToggleMainHidden(ui::Ui& ui);
std::string AboutText();
void ShowAbout(ui::Ui& ui);
void SelectAllResults(ui::Ui& ui);
// True when a right button press at client position x, y of the main window lies over
// the status bar's copy field (its edges and the row above the bar count).
bool IsOverCopyField(ui::Ui& ui, int x, int y);

// Images carried inside the program.
bool DecodePng(const std::uint8_t* bytes, std::size_t size, ui::Picture& picture);
bool LoadCarriedImages(ui::Ui& ui, ui::Picture& splash);

}  // namespace tandrel::app
