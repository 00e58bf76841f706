// Owning wrappers for COM and shell objects, and the file list that drag and drop and
// the clipboard hand out.
#pragma once

#include <windows.h>
// After windows.h: they rely on its types.
#include <ole2.h>
#include <shlobj.h>

#include <string>
#include <utility>
#include <vector>

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

// One reference to a COM object, released when the wrapper goes.
template <typename Interface>
class ComRef {
 public:
  ComRef() = default;
  explicit ComRef(Interface* adopted) : object_(adopted) {}
  ~ComRef() { Reset(); }
  ComRef(ComRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  ComRef& operator=(ComRef&& other) noexcept {
    if (this != &other) {
      Reset();
      object_ = std::exchange(other.object_, nullptr);
    }
    return *this;
  }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;

  Interface* get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }
  void Reset() {
    if (object_ != nullptr) object_->Release();
    object_ = nullptr;
  }

 private:
  Interface* object_ = nullptr;
};

// An item identifier list the shell allocated; freed with the task allocator.
class OwnedIdList {
 public:
  OwnedIdList() = default;
  explicit OwnedIdList(PIDLIST_ABSOLUTE list) : list_(list) {}
  ~OwnedIdList() { CoTaskMemFree(list_); }
  OwnedIdList(OwnedIdList&& other) noexcept : list_(std::exchange(other.list_, nullptr)) {}
  OwnedIdList& operator=(OwnedIdList&& other) noexcept {
    if (this != &other) {
      CoTaskMemFree(list_);
      list_ = std::exchange(other.list_, nullptr);
    }
    return *this;
  }
  OwnedIdList(const OwnedIdList&) = delete;
  OwnedIdList& operator=(const OwnedIdList&) = delete;

  PIDLIST_ABSOLUTE get() const { return list_; }
  explicit operator bool() const { return list_ != nullptr; }

 private:
  PIDLIST_ABSOLUTE list_ = nullptr;
};

// Global memory that is freed unless it was handed over (the clipboard takes it over).
class OwnedGlobal {
 public:
  OwnedGlobal() = default;
  explicit OwnedGlobal(HGLOBAL memory) : memory_(memory) {}
  ~OwnedGlobal() {
    if (memory_ != nullptr) GlobalFree(memory_);
  }
  OwnedGlobal(OwnedGlobal&& other) noexcept : memory_(std::exchange(other.memory_, nullptr)) {}
  OwnedGlobal& operator=(OwnedGlobal&& other) noexcept {
    if (this != &other) {
      if (memory_ != nullptr) GlobalFree(memory_);
      memory_ = std::exchange(other.memory_, nullptr);
    }
    return *this;
  }
  OwnedGlobal(const OwnedGlobal&) = delete;
  OwnedGlobal& operator=(const OwnedGlobal&) = delete;

  HGLOBAL get() const { return memory_; }
  explicit operator bool() const { return memory_ != nullptr; }
  HGLOBAL Release() { return std::exchange(memory_, nullptr); }

 private:
  HGLOBAL memory_ = nullptr;
};

// A movable global block holding `bytes` (null when out of memory).
OwnedGlobal GlobalCopyOf(const std::string& bytes);
// The paths as a CF_HDROP block: a DROPFILES header, then each path and a NUL, then one
// more NUL; ANSI text.
OwnedGlobal FileDropOf(const std::vector<std::string>& paths);
// The registered format by which a file list says which drop effect its source wants.
UINT PreferredDropEffectFormat();

}  // namespace tandrel::win32
