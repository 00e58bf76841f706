// Owning wrappers for the window system's handles: each frees its handle exactly once.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <utility>

namespace tandrel::win32 {

// The one owner of a handle: move-only, it frees its handle exactly once with `Free`. A
// value-initialised Handle (null, or 0 for the integer handles of CryptoAPI) is none.
template <typename Handle, auto Free>
class Owned {
 public:
  Owned() = default;
  explicit Owned(Handle handle) : handle_(handle) {}
  ~Owned() { Reset(); }
  Owned(Owned&& other) noexcept : handle_(std::exchange(other.handle_, Handle{})) {}
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) {
      Reset();
      handle_ = std::exchange(other.handle_, Handle{});
    }
    return *this;
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;

  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != Handle{}; }
  void Reset() {
    if (handle_ != Handle{}) Free(handle_);
    handle_ = Handle{};
  }
  // Gives the handle up without freeing it (to an owner that frees it itself).
  Handle Release() { return std::exchange(handle_, Handle{}); }

 private:
  Handle handle_{};
};

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
inline BOOL WINAPI FreeLocalMemory(PSECURITY_DESCRIPTOR memory) { return LocalFree(memory) == nullptr; }
using OwnedSecurityDescriptor = Owned<PSECURITY_DESCRIPTOR, FreeLocalMemory>;

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
