// The named mutexes that stand for a folder: one per kind of claim (platform.h).
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "platform/win32/handles.h"

namespace tandrel::platform {

// `prefix` and a hash of the folder's full path, upper-cased, so that every spelling of
// one folder gives the same name.
std::string FolderObjectName(std::string_view prefix, const std::string& folder);

// The calling user's mutex for `folder`: `prefix`, the user's SID, "-" and the folder's
// hash, in the machine-wide namespace (so that the user's processes in every session
// meet), owned by the user and open to nobody else. Where the machine-wide object is not
// the user's (another user made it first, to stand in the way) or that namespace is
// closed to the session, the session's own namespace serves, which no other user reaches.
// Taken without waiting: null when another thread or process holds it, or when neither
// namespace gives one. Windows ties the mutex to the thread that took it.
win32::OwnedHandle TakeFolderMutex(std::string_view prefix, const std::string& folder);
// Lets go of a mutex from TakeFolderMutex (released from its owner), on the thread that
// took it.
void GiveUpFolderMutex(HANDLE mutex);
// The same mutex, to wait on, when it exists and is the user's; null otherwise.
win32::OwnedHandle OpenFolderMutex(std::string_view prefix, const std::string& folder);

}  // namespace tandrel::platform
