// The one owner of a system handle, for every kind of handle in platform/.
#pragma once

#include <utility>

namespace tandrel::platform {

// Move-only; frees its handle exactly once with `Free`, and never frees `kNone`, the value
// that stands for no handle (-1 for descriptors, null for pointers). A moved-from owner
// holds none.
template <typename Handle, auto Free, Handle kNone = Handle{}>
class Owned {
 public:
  Owned() = default;
  explicit Owned(Handle handle) : handle_(handle) {}
  ~Owned() { Reset(); }
  Owned(Owned&& other) noexcept : handle_(other.Release()) {}
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;

  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != kNone; }
  // Frees the handle held, if any, and holds `handle` instead.
  void Reset(Handle handle = kNone) {
    const Handle old = std::exchange(handle_, handle);
    if (old != kNone) Free(old);
  }
  // Gives the handle up without freeing it (to an owner that frees it itself).
  Handle Release() { return std::exchange(handle_, kNone); }

 private:
  Handle handle_ = kNone;
};

}  // namespace tandrel::platform
