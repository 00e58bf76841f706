// Memory inside another process. Common-control messages carry pointers that the system
// does not copy between processes, so their structures must live in the target.
#pragma once

#include <windows.h>

#include <cstddef>

namespace driver {

class RemoteBuffer {
 public:
  RemoteBuffer(HWND owner, std::size_t size);
  ~RemoteBuffer();
  RemoteBuffer(const RemoteBuffer&) = delete;
  RemoteBuffer& operator=(const RemoteBuffer&) = delete;

  bool ok() const { return address_ != nullptr; }
  HANDLE process() const { return process_; }
  char* address() const { return static_cast<char*>(address_); }
  bool Write(std::size_t offset, const void* data, std::size_t size);
  bool Read(std::size_t offset, void* data, std::size_t size) const;

 private:
  HANDLE process_ = nullptr;
  void* address_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace driver
