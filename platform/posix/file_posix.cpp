// Files on POSIX systems.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/native_file.h"
#include "platform/platform.h"

namespace tandrel::platform {
namespace native {

OwnedFile OpenFile(const std::string& path, OpenMode mode) {
  int flags = O_RDONLY;
  mode_t permissions = 0644;
  if (mode == OpenMode::kReadWrite) flags = O_RDWR | O_CREAT;
  if (mode == OpenMode::kCreate) flags = O_RDWR | O_CREAT | O_TRUNC;
  if (mode == OpenMode::kCreateNew) {
    flags = O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW;
    permissions = 0600;
  }
  int fd;
  do {
    fd = ::open(path.c_str(), flags | O_CLOEXEC, permissions);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return {};
  OwnedFile file(fd);
  // A folder opens for reading on POSIX but is no file to read.
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) return {};
  return file;
}

std::ptrdiff_t ReadFile(std::intptr_t handle, void* data, std::size_t size) {
  for (;;) {
    const ssize_t got = ::read(static_cast<int>(handle), data, size);
    if (got >= 0 || errno != EINTR) return got;
  }
}

bool WriteFile(std::intptr_t handle, const void* data, std::size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t put = ::write(static_cast<int>(handle), p, size);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    p += put;
    size -= static_cast<std::size_t>(put);
  }
  return true;
}

bool SeekFile(std::intptr_t handle, std::int64_t offset, bool from_current) {
  return ::lseek(static_cast<int>(handle), static_cast<off_t>(offset),
                 from_current ? SEEK_CUR : SEEK_SET) >= 0;
}

bool SyncFile(std::intptr_t handle) { return ::fsync(static_cast<int>(handle)) == 0; }

void CloseFile(std::intptr_t handle) { ::close(static_cast<int>(handle)); }

bool StampFile(std::intptr_t handle, FileStamp& stamp) {
  struct stat st {};
  if (::fstat(static_cast<int>(handle), &st) != 0) return false;
  stamp.size = static_cast<std::uint64_t>(st.st_size);
  stamp.write_time = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
  return true;
}

}  // namespace native

namespace {

// An open file and its size, closed when the image is made.
struct ImageSource {
  explicit ImageSource(const std::string& path) : file(native::OpenFile(path, OpenMode::kRead)) {
    struct stat st {};
    if (file && ::fstat(Descriptor(), &st) == 0) {
      size = static_cast<std::size_t>(st.st_size);
      ok = true;
    }
  }
  int Descriptor() const { return static_cast<int>(file.get()); }
  native::OwnedFile file;
  std::size_t size = 0;
  bool ok = false;
};

}  // namespace

std::unique_ptr<FileImage> FileImage::Open(const std::string& path) {
  const ImageSource source(path);
  if (!source.ok) return nullptr;
  std::unique_ptr<FileImage> image(new FileImage);
  image->size_ = source.size;
  // Read into large pages rather than mapped: a fresh mapping of the page cache costs a
  // fault or a TLB miss per 4 KiB page on the first pass, several times the copy.
  constexpr std::size_t kLargePage = 2u << 20;
  const std::size_t capacity = (image->size_ + kLargePage) & ~(kLargePage - 1);
  image->data_ = static_cast<char*>(std::aligned_alloc(kLargePage, capacity));
  if (image->data_ == nullptr) return nullptr;
  AdviseLargePages(image->data_, capacity);
  std::size_t got = 0;
  while (got < image->size_) {
    const std::ptrdiff_t n = native::ReadFile(source.file.get(), image->data_ + got, image->size_ - got);
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  if (got != image->size_) return nullptr;
  return image;
}

std::unique_ptr<FileImage> FileImage::Map(const std::string& path) {
  // The mapping keeps the file once the source is closed, even when it is renamed over.
  const ImageSource source(path);
  if (!source.ok) return nullptr;
  std::unique_ptr<FileImage> image(new FileImage);
  image->size_ = source.size;
  // An empty file has nothing to map; its image is an empty block all the same.
  if (image->size_ == 0) {
    image->data_ = static_cast<char*>(std::malloc(16));
    return image->data_ != nullptr ? std::move(image) : nullptr;
  }
  void* data = ::mmap(nullptr, image->size_, PROT_READ, MAP_PRIVATE, source.Descriptor(), 0);
  if (data == MAP_FAILED) return nullptr;
  image->data_ = static_cast<char*>(data);
  image->mapped_ = true;
  return image;
}

void FileImage::Fetch(std::size_t offset, std::size_t size) const {
#ifdef MADV_POPULATE_READ
  if (!mapped_ || offset >= size_) return;
  constexpr std::size_t kPage = 4096;
  const std::size_t begin = offset & ~(kPage - 1);
  const std::size_t end = std::min(size_, offset + std::min(size, size_ - offset));
  // Older kernels refuse the advice; the pages then come one fault at a time.
  if (end > begin) ::madvise(data_ + begin, end - begin, MADV_POPULATE_READ);
#else
  (void)offset;
  (void)size;
#endif
}

FileImage::~FileImage() {
  if (mapped_) {
    ::munmap(data_, size_);
  } else {
    std::free(data_);
  }
}

void AdviseLargePages(void* data, std::size_t size) {
  constexpr std::uintptr_t kLargePage = 2u << 20;
  const auto begin = (reinterpret_cast<std::uintptr_t>(data) + kLargePage - 1) & ~(kLargePage - 1);
  const auto end = (reinterpret_cast<std::uintptr_t>(data) + size) & ~(kLargePage - 1);
#ifdef MADV_HUGEPAGE
  if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)begin;
  (void)end;
#endif
}

bool RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool CopyFileReplacing(const std::string& from, const std::string& to) {
  constexpr std::size_t kChunk = 1 << 16;
  File source(from, OpenMode::kRead, kChunk);
  if (!source.IsOpen()) return false;
  File target(to, OpenMode::kCreate, kChunk);
  if (!target.IsOpen()) return false;
  auto chunk = std::make_unique<char[]>(kChunk);
  for (;;) {
    const std::size_t got = source.Read(chunk.get(), kChunk);
    if (got == 0) break;
    if (!target.Write(std::string_view(chunk.get(), got))) return false;
  }
  return target.Close();
}

bool CreateFolder(const std::string& path) { return ::mkdir(path.c_str(), 0755) == 0; }

// Names are bytes here: a stored name is the real one.
bool CreateFolderNamedAs(const std::string& path, const std::string&) { return CreateFolder(path); }

std::optional<PrivateFolder> PrivateFolder::Create() {
  std::string pattern = TemporaryFolder() + "tandrel-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) return std::nullopt;
  return PrivateFolder(pattern + kPathSeparator);
}

PrivateFolder::~PrivateFolder() {
  if (!path_.empty()) ::rmdir(path_.c_str());
}

bool ReplaceFileAtomically(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace tandrel::platform
