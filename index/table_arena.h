// A growable block of trivially copyable elements on the C heap, for the table's
// sections. Unlike std::vector it can be sized once from an upper bound and trimmed to
// its contents at the end without a copy: a large block is mapped memory that the
// system hands out page by page as it is written, and trimming it gives the untouched
// rest back in place. Internal to index/.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <utility>

#include "platform/platform.h"

namespace tandrel::index {

template <typename T>
class TableArena {
  static_assert(std::is_trivially_copyable_v<T>);

 public:
  TableArena() = default;
  ~TableArena() { std::free(data_); }
  TableArena(TableArena&& other) noexcept
      : data_(std::exchange(other.data_, nullptr)),
        size_(std::exchange(other.size_, 0)),
        capacity_(std::exchange(other.capacity_, 0)) {}
  TableArena& operator=(TableArena&& other) noexcept {
    if (this != &other) {
      std::free(data_);
      data_ = std::exchange(other.data_, nullptr);
      size_ = std::exchange(other.size_, 0);
      capacity_ = std::exchange(other.capacity_, 0);
    }
    return *this;
  }
  TableArena(const TableArena&) = delete;
  TableArena& operator=(const TableArena&) = delete;

  T* data() { return data_; }
  const T* data() const { return data_; }
  std::size_t size() const { return size_; }
  std::size_t capacity() const { return capacity_; }
  T back() const { return data_[size_ - 1]; }

  // Room for `count` elements in all; false (nothing changed) when the system has no
  // such block, in which case appending still grows step by step.
  bool Reserve(std::size_t count) {
    if (count <= capacity_) return true;
    if (count > static_cast<std::size_t>(-1) / sizeof(T)) return false;
    void* grown = std::realloc(data_, count * sizeof(T));
    if (grown == nullptr) return false;
    data_ = static_cast<T*>(grown);
    capacity_ = count;
    if (count * sizeof(T) >= kLargeBlockBytes) platform::AdviseLargePages(data_, count * sizeof(T));
    return true;
  }
  // Room for `count` more elements, growing as appending would.
  bool ReserveMore(std::size_t count) { return count <= capacity_ - size_ || Grow(size_ + count); }
  // False when the system refused the memory; nothing is appended then.
  bool Append(const T* items, std::size_t count) {
    if (count > capacity_ - size_ && !Grow(size_ + count)) return false;
    if (count > 0) std::memcpy(data_ + size_, items, count * sizeof(T));
    size_ += count;
    return true;
  }
  bool PushBack(T item) {
    if (size_ == capacity_ && !Grow(size_ + 1)) return false;
    data_[size_++] = item;
    return true;
  }
  // `count` more elements whose values the caller writes next, at data() + size()
  // before the call; false (nothing changed) when the system refused the memory.
  bool GrowForOverwrite(std::size_t count) {
    if (!ReserveMore(count)) return false;
    size_ += count;
    return true;
  }
  // Only ever shrinks (taking back a begun entry).
  void Truncate(std::size_t count) {
    if (count < size_) size_ = count;
  }
  // Gives back the room beyond the contents.
  void Trim() {
    if (size_ == capacity_) return;
    if (size_ == 0) {
      std::free(data_);
      data_ = nullptr;
      capacity_ = 0;
      return;
    }
    if (void* trimmed = std::realloc(data_, size_ * sizeof(T))) {
      data_ = static_cast<T*>(trimmed);
      capacity_ = size_;
    }
  }

 private:
  static constexpr std::size_t kLargeBlockBytes = std::size_t{8} << 20;

  bool Grow(std::size_t needed) {
    std::size_t wanted = capacity_ < 16 ? 16 : capacity_ * 2;
    if (wanted < needed) wanted = needed;
    return Reserve(wanted) || Reserve(needed);
  }

  T* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace tandrel::index
