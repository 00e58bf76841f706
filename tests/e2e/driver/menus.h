#pragma once

#include "driver.h"
#include "remote_buffer.h"

namespace driver {

// Runs the probe DLL's entry point inside the window owner's process, on the block in
// that process; true when it returned 0.
bool RunInProbe(HWND owner, const char* entry_name, const RemoteBuffer& block);

int MenuItemsVerb(const Args& args);
int PopupItemsVerb(const Args& args);
int ClosePopupVerb(const Args& args);

}  // namespace driver
