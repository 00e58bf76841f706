// Raw file operations that each system implements; File buffers on top of them.
// Internal to platform/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace tandrel::platform::native {

// kNoHandle, CloseFile and OwnedFile: file.h, since File holds its handle through them.
OwnedFile OpenFile(const std::string& path, OpenMode mode);
// Bytes read, 0 at the end of the file, -1 on an error.
std::ptrdiff_t ReadFile(std::intptr_t handle, void* data, std::size_t size);
[[nodiscard]] bool WriteFile(std::intptr_t handle, const void* data, std::size_t size);
// Moves the file position: absolute with `from_current` false, relative otherwise.
[[nodiscard]] bool SeekFile(std::intptr_t handle, std::int64_t offset, bool from_current);
// Waits until the file's written bytes are on the disk.
[[nodiscard]] bool SyncFile(std::intptr_t handle);
[[nodiscard]] bool StampFile(std::intptr_t handle, FileStamp& stamp);

}  // namespace tandrel::platform::native
