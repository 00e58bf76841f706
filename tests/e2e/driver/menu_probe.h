// What tandrel_menu_probe.dll does inside the program under test, on a thread the driver
// starts there. Wine keeps menu contents in the owning process only: GetMenuItemInfoA on
// another process's menu fails there, so the probe reads the menu. And a status bar's
// texts read from outside are samples that miss what shows only briefly, so the probe
// logs each change where it is made.
#pragma once

#include <windows.h>

namespace driver {

inline constexpr unsigned kMenuProbeTextSize = 16384;
inline constexpr char kMenuProbeDllName[] = "tandrel_menu_probe.dll";
inline constexpr char kMenuProbeEntry[] = "DescribeMenu";

struct MenuProbeBlock {
  HMENU menu;
  unsigned length;  // bytes used in text
  char text[kMenuProbeTextSize];
};

// From the call on, every change of the pair of fields is appended to the file as a line
// "A|B" (the first line: the pair as it was).
inline constexpr char kStatusLogEntry[] = "LogStatusFields";

struct StatusLogBlock {
  HWND bar;
  unsigned field_a;
  unsigned field_b;
  char path[MAX_PATH];
};

}  // namespace driver
