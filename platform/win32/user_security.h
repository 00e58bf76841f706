// The calling process's user, and system objects that belong to that user alone.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "platform/win32/handles.h"

namespace tandrel::win32 {

// The user the process runs as, as an SID text ("S-1-5-21-..."); empty when the system
// does not tell.
std::string UserSidText();

// A security descriptor with the user as owner whose one entry grants the user `access`
// (SDDL rights, "0x001F0001" or "FA") and nobody else anything; with `to_children`
// files and folders made inside inherit it. Empty when it cannot be made.
OwnedSecurityDescriptor UserOnlySecurity(std::string_view access, bool to_children = false);

// True when the kernel object behind `handle` (which must allow reading its security)
// is owned by the user: made by this user's processes, not by another user.
bool OwnedByUser(HANDLE handle);

}  // namespace tandrel::win32
