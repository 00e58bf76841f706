// The message, timer and subclass numbers the window layer reserves for itself: each is
// defined here once.
#pragma once

#include <windows.h>

namespace tandrel::win32 {

// The tray icon reports clicks to its window with this message.
inline constexpr UINT kTrayMessage = WM_APP + 1;
// The main window's timer that shows what workers posted while a modal loop of the system
// runs (a popup menu, a message box, a frame drag), where WaitEvent is not reached.
inline constexpr UINT_PTR kPostedTimer = 1;
inline constexpr UINT kPostedTimerMs = 50;
// The subclass through which a window's status bar hands on right-button presses.
inline constexpr UINT_PTR kStatusBarSubclass = 1;

}  // namespace tandrel::win32
