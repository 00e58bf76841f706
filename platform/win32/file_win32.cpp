// Files on Windows, through the wide functions on the real paths behind stored ones.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "platform/native_file.h"
#include "platform/win32/handles.h"
#include "platform/win32/user_security.h"
#include "platform/platform.h"
#include "platform/win32/wide_paths.h"

namespace tandrel::platform {
namespace native {

OwnedFile OpenFile(const std::string& path, OpenMode mode) {
  DWORD access = GENERIC_READ;
  DWORD disposition = OPEN_EXISTING;
  if (mode == OpenMode::kReadWrite) {
    access |= GENERIC_WRITE;
    disposition = OPEN_ALWAYS;
  } else if (mode == OpenMode::kCreate) {
    access |= GENERIC_WRITE;
    disposition = CREATE_ALWAYS;
  } else if (mode == OpenMode::kCreateNew) {
    access |= GENERIC_WRITE;
    disposition = CREATE_NEW;  // fails on any existing name, a link included
  }
  // Others may read, and may delete the file or rename it while it is open. Renaming
  // another file over it is still refused while any handle is open (Wine does so, as does
  // Windows without POSIX rename semantics): an indexing run that finds db.db held open
  // keeps the previous index.
  const std::optional<std::wstring> real = win32::WidePathOf(path);
  if (!real) return {};
  HANDLE h = ::CreateFileW(real->c_str(), access, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                           disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return {};
  return OwnedFile(reinterpret_cast<std::intptr_t>(h));
}

std::ptrdiff_t ReadFile(std::intptr_t handle, void* data, std::size_t size) {
  const DWORD want = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
  DWORD got = 0;
  if (!::ReadFile(reinterpret_cast<HANDLE>(handle), data, want, &got, nullptr)) return -1;
  return static_cast<std::ptrdiff_t>(got);
}

bool WriteFile(std::intptr_t handle, const void* data, std::size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const DWORD want = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD put = 0;
    if (!::WriteFile(reinterpret_cast<HANDLE>(handle), p, want, &put, nullptr) || put == 0) {
      return false;
    }
    p += put;
    size -= put;
  }
  return true;
}

bool SeekFile(std::intptr_t handle, std::int64_t offset, bool from_current) {
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  return ::SetFilePointerEx(reinterpret_cast<HANDLE>(handle), distance, nullptr,
                            from_current ? FILE_CURRENT : FILE_BEGIN) != 0;
}

bool SyncFile(std::intptr_t handle) {
  return ::FlushFileBuffers(reinterpret_cast<HANDLE>(handle)) != 0;
}

void CloseFile(std::intptr_t handle) { ::CloseHandle(reinterpret_cast<HANDLE>(handle)); }

bool StampFile(std::intptr_t handle, FileStamp& stamp) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(reinterpret_cast<HANDLE>(handle), &info)) return false;
  stamp.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  stamp.write_time = static_cast<std::int64_t>(
      (static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
      info.ftLastWriteTime.dwLowDateTime);
  return true;
}

}  // namespace native

std::unique_ptr<FileImage> FileImage::Open(const std::string& path) {
  File file(path, OpenMode::kRead, 16);
  const std::optional<FileStamp> stamp = file.Stamp();
  if (!stamp || stamp->size > (std::uint64_t{1} << 40)) return nullptr;
  std::unique_ptr<FileImage> image(new FileImage);
  image->size_ = static_cast<std::size_t>(stamp->size);
  // Read and closed here, so that the file can be replaced the moment this returns.
  image->data_ = static_cast<char*>(std::malloc(image->size_ > 0 ? image->size_ : 1));
  if (image->data_ == nullptr || file.Read(image->data_, image->size_) != image->size_) {
    return nullptr;
  }
  return image;
}

std::unique_ptr<FileImage> FileImage::Map(const std::string& path) {
  const native::OwnedFile file = native::OpenFile(path, OpenMode::kRead);
  if (!file) return nullptr;
  FileStamp stamp;
  if (!native::StampFile(file.get(), stamp) ||
      stamp.size > (std::uint64_t{1} << 40)) {
    return nullptr;
  }
  std::unique_ptr<FileImage> image(new FileImage);
  image->size_ = static_cast<std::size_t>(stamp.size);
  // An empty file cannot be mapped; its image is an empty block all the same.
  if (image->size_ == 0) {
    image->data_ = static_cast<char*>(std::malloc(16));
    return image->data_ != nullptr ? std::move(image) : nullptr;
  }
  // The view keeps the file and its mapping object alive after both handles are closed.
  const win32::OwnedHandle mapping(
      ::CreateFileMappingW(reinterpret_cast<HANDLE>(file.get()), nullptr, PAGE_READONLY, 0, 0, nullptr));
  if (!mapping) return nullptr;
  void* view = ::MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0);
  if (view == nullptr) return nullptr;
  image->data_ = static_cast<char*>(view);
  image->mapped_ = true;
  return image;
}

// The first reads of a view fetch their pages as they go; nothing to ask for here.
void FileImage::Fetch(std::size_t, std::size_t) const {}

FileImage::~FileImage() {
  if (mapped_) {
    ::UnmapViewOfFile(data_);
  } else {
    std::free(data_);
  }
}

void AdviseLargePages(void*, std::size_t) {}

bool RemoveFile(const std::string& path) {
  const std::optional<std::wstring> real = win32::WidePathOf(path);
  return real && ::DeleteFileW(real->c_str()) != 0;
}

bool CopyFileReplacing(const std::string& from, const std::string& to) {
  const std::optional<std::wstring> source = win32::WidePathOf(from);
  if (!source) return false;
  const std::optional<std::wstring> target = win32::WidePathFor(to, *source);
  return target && ::CopyFileW(source->c_str(), target->c_str(), FALSE) != 0;
}

bool CreateFolder(const std::string& path) {
  const std::optional<std::wstring> real = win32::WidePathOf(path);
  return real && ::CreateDirectoryW(real->c_str(), nullptr) != 0;
}

bool CreateFolderNamedAs(const std::string& path, const std::string& model) {
  const std::optional<std::wstring> source = win32::WidePathOf(model);
  if (!source) return false;
  const std::optional<std::wstring> target = win32::WidePathFor(path, *source);
  return target && ::CreateDirectoryW(target->c_str(), nullptr) != 0;
}

std::optional<PrivateFolder> PrivateFolder::Create() {
  const std::string temp = TemporaryFolder();
  if (temp.empty()) return std::nullopt;
  // A fresh name from the process id, the clock and a count; a name that is taken is
  // never used, so a few tries always find one.
  static std::atomic<std::uint32_t> count{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[48];
    std::snprintf(name, sizeof name, "tandrel-%lx-%lx-%lx", ::GetCurrentProcessId(),
                  static_cast<unsigned long>(::GetTickCount()),
                  static_cast<unsigned long>(count.fetch_add(1)));
    const std::string path = temp + name;
    // For the user alone even where the temporary folder is shared.
    const win32::OwnedSecurityDescriptor security = win32::UserOnlySecurity("FA", true);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, security.get(), FALSE};
    const std::optional<std::wstring> real = win32::WidePathOf(path);
    if (!real) return std::nullopt;
    if (::CreateDirectoryW(real->c_str(), security ? &attributes : nullptr)) {
      return PrivateFolder(path + kPathSeparator);
    }
    if (::GetLastError() != ERROR_ALREADY_EXISTS) return std::nullopt;
  }
  return std::nullopt;
}

PrivateFolder::~PrivateFolder() {
  if (path_.empty()) return;
  if (const std::optional<std::wstring> real = win32::WidePathOf(path_)) ::RemoveDirectoryW(real->c_str());
}

bool ReplaceFileAtomically(const std::string& from, const std::string& to) {
  const std::optional<std::wstring> source = win32::WidePathOf(from);
  const std::optional<std::wstring> target = win32::WidePathOf(to);
  return source && target &&
         ::MoveFileExW(source->c_str(), target->c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace tandrel::platform
