// Owning wrappers for the window system's handles: each frees its handle exactly once.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include "platform/owned.h"

namespace tandrel::win32 {

// The window system's handles are none when value-initialised: null, or 0 for the integer
// handles of CryptoAPI.
template <typename Handle, auto Free>
using Owned = platform::Owned<Handle, Free>;

inline BOOL WINAPI FreeBitmap(HBITMAP bitmap) { return DeleteObject(bitmap); }
inline BOOL WINAPI FreeFont(HFONT font) { return DeleteObject(font); }
inline BOOL WINAPI FreeRegion(HRGN region) { return DeleteObject(region); }
inline BOOL WINAPI FreeMemoryDc(HDC dc) { return DeleteDC(dc); }

using OwnedBitmap = Owned<HBITMAP, FreeBitmap>;
using OwnedFont = Owned<HFONT, FreeFont>;
using OwnedRegion = Owned<HRGN, FreeRegion>;
using OwnedMemoryDc = Owned<HDC, FreeMemoryDc>;
using OwnedIcon = Owned<HICON, DestroyIcon>;
using OwnedMenu = Owned<HMENU, DestroyMenu>;
using OwnedAccelerators = Owned<HACCEL, DestroyAcceleratorTable>;
// A kernel object: a started process or its thread, a file mapping, a mutex.
using OwnedHandle = Owned<HANDLE, CloseHandle>;
// A search of FindFirstFileW; it fails with INVALID_HANDLE_VALUE, which is no value to hold.
using OwnedFind = Owned<HANDLE, FindClose>;
inline BOOL WINAPI FreeLocalMemory(PSECURITY_DESCRIPTOR memory) { return LocalFree(memory) == nullptr; }
using OwnedSecurityDescriptor = Owned<PSECURITY_DESCRIPTOR, FreeLocalMemory>;
using OwnedRegistryKey = Owned<HKEY, RegCloseKey>;

// CryptoAPI handles are integers (0 for none) with free functions of their own.
inline BOOL WINAPI ReleaseCryptProvider(HCRYPTPROV provider) { return CryptReleaseContext(provider, 0); }

using CryptProvider = Owned<HCRYPTPROV, ReleaseCryptProvider>;
using CryptHash = Owned<HCRYPTHASH, CryptDestroyHash>;
using CryptKey = Owned<HCRYPTKEY, CryptDestroyKey>;

// A GDI object selected into a device context for one scope.
class Selected {
 public:
  Selected(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
  ~Selected() { SelectObject(dc_, previous_); }
  Selected(const Selected&) = delete;
  Selected& operator=(const Selected&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// A window's device context for one scope; the screen's without a window.
class WindowDc {
 public:
  explicit WindowDc(HWND window = nullptr) : window_(window), dc_(GetDC(window)) {}
  ~WindowDc() {
    if (dc_ != nullptr) ReleaseDC(window_, dc_);
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

}  // namespace tandrel::win32
