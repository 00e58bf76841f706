// Owning wrappers for COM and shell objects, and the file list that drag and drop and
// the clipboard hand out.
#pragma once

#include <windows.h>
// After windows.h: they rely on its types.
#include <ole2.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "platform/win32/handles.h"

namespace tandrel::win32 {

// OLE on the calling thread for the lifetime of the object (drag and drop, the
// clipboard and the shell's folder windows need it on the main thread).
class OleSession {
 public:
  OleSession() : initialised_(SUCCEEDED(OleInitialize(nullptr))) {}
  ~OleSession() {
    if (initialised_) OleUninitialize();
  }
  OleSession(const OleSession&) = delete;
  OleSession& operator=(const OleSession&) = delete;

 private:
  bool initialised_;
};

template <typename Interface>
void ReleaseComObject(Interface* object) {
  object->Release();
}
// One reference to a COM object, released when the wrapper goes.
template <typename Interface>
using ComRef = Owned<Interface*, ReleaseComObject<Interface>>;

// An item identifier list the shell allocated; freed with the task allocator.
using OwnedIdList = Owned<PIDLIST_ABSOLUTE, CoTaskMemFree>;

// Global memory that is freed unless it was handed over (Release; the clipboard takes it
// over).
using OwnedGlobal = Owned<HGLOBAL, GlobalFree>;

// A movable global block holding `bytes` (null when out of memory).
OwnedGlobal GlobalCopyOf(const std::string& bytes);
// The stored paths as a CF_HDROP block: a DROPFILES header, then each real path and a
// NUL, then one more NUL; UTF-16. A path that does not stand for exactly one file is left
// out.
OwnedGlobal FileDropOf(const std::vector<std::string>& paths);
// The real paths behind the stored ones, in their order; a path that does not stand for
// exactly one file is left out.
std::vector<std::wstring> RealPathsOf(const std::vector<std::string>& paths);
// The registered format by which a file list says which drop effect its source wants.
UINT PreferredDropEffectFormat();

}  // namespace tandrel::win32
