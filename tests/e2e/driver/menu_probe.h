// The block tandrel_menu_probe.dll fills inside the program under test. Wine keeps menu
// contents in the owning process only: GetMenuItemInfoA on another process's menu fails
// there, so the driver loads this DLL into the target and lets it read the menu.
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

}  // namespace driver
