#include "remote_buffer.h"

namespace driver {

RemoteBuffer::RemoteBuffer(HWND owner, std::size_t size) : size_(size) {
  DWORD pid = 0;
  GetWindowThreadProcessId(owner, &pid);
  if (pid == 0) return;
  process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE |
                             PROCESS_QUERY_INFORMATION | PROCESS_CREATE_THREAD,
                         FALSE, pid);
  if (process_ == nullptr) return;
  address_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

RemoteBuffer::~RemoteBuffer() {
  if (address_ != nullptr) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
  if (process_ != nullptr) CloseHandle(process_);
}

bool RemoteBuffer::Write(std::size_t offset, const void* data, std::size_t size) {
  if (!ok() || offset > size_ || size > size_ - offset) return false;
  SIZE_T written = 0;
  return WriteProcessMemory(process_, address() + offset, data, size, &written) &&
         written == size;
}

bool RemoteBuffer::Read(std::size_t offset, void* data, std::size_t size) const {
  if (!ok() || offset > size_ || size > size_ - offset) return false;
  SIZE_T read = 0;
  return ReadProcessMemory(process_, address() + offset, data, size, &read) && read == size;
}

}  // namespace driver
