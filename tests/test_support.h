// Helpers shared by the unit tests: a scratch folder per test and whole-file access.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "platform/platform.h"

#ifdef __linux__
#include <sys/fsuid.h>
#include <unistd.h>
#endif

namespace tandrel::test {

inline std::string ReadWholeFile(const std::string& path) {
  platform::File file(path, platform::OpenMode::kRead);
  std::string bytes;
  char chunk[4096];
  for (std::size_t got; (got = file.Read(chunk, sizeof chunk)) > 0;) bytes.append(chunk, got);
  return bytes;
}

inline bool WriteWholeFile(const std::string& path, std::string_view bytes) {
  platform::File file(path, platform::OpenMode::kCreate);
  return file.IsOpen() && file.Write(bytes) && file.Close();
}

inline bool FileExists(const std::string& path) {
  return platform::File(path, platform::OpenMode::kRead).IsOpen();
}

// Polls `holds` every `poll_ms` until it is true (true) or `limit_ms` have passed
// (false). Every wait in a test goes through here, so that a fault fails the test with
// its own message instead of hanging it until the run's time-out.
template <class Condition>
bool WaitUntil(Condition holds, std::uint32_t limit_ms = 20000, std::uint32_t poll_ms = 1) {
  const std::uint32_t start = platform::TickCount();
  while (!holds()) {
    if (platform::TickCount() - start >= limit_ms) return holds();
    platform::Sleep(poll_ms);
  }
  return true;
}

// Makes a file read-only for the calling thread while it lives: its write permissions
// (Windows: the read-only attribute) go, and where the tests run as the superuser, who may
// write whatever a file's mode says, this thread's file accesses are checked as the user
// nobody. Other threads keep their rights.
class ReadOnlyForThisThread {
 public:
  explicit ReadOnlyForThisThread(std::string path) : path_(std::move(path)) {
    namespace fs = std::filesystem;
    fs::permissions(path_, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
#ifdef __linux__
    if (::geteuid() == 0) ::setfsuid(65534);
#endif
  }
  ~ReadOnlyForThisThread() {
#ifdef __linux__
    if (::geteuid() == 0) ::setfsuid(0);
#endif
    std::filesystem::permissions(path_, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
  }
  ReadOnlyForThisThread(const ReadOnlyForThisThread&) = delete;
  ReadOnlyForThisThread& operator=(const ReadOnlyForThisThread&) = delete;

 private:
  std::string path_;
};

// A fresh folder below the temporary folder, removed with everything in it afterwards.
// Paths handed out are built with the platform's separator.
class ScratchFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    root_ = platform::TemporaryFolder() + "tandrel-test-" + std::to_string(random()) +
            std::to_string(random());
    ASSERT_TRUE(platform::CreateFolder(root_)) << root_;
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(root_), ignored);
  }
  std::string Path(const std::string& relative) const {
    return root_ + platform::kPathSeparator + relative;
  }
  const std::string& Root() const { return root_; }

 private:
  std::string root_;
};

// A scratch folder that is also the current folder, as the program folder is at run time.
class ScratchCurrentFolder : public ScratchFolder {
 protected:
  void SetUp() override {
    ScratchFolder::SetUp();
    ASSERT_TRUE(platform::SetCurrentFolder(Root()));
  }
  void TearDown() override {
    platform::SetCurrentFolder(platform::TemporaryFolder());
    ScratchFolder::TearDown();
  }
};

#ifdef _WIN32
// Files and folders named in UTF-16, as other programs make them: names the ANSI code page
// cannot hold. `path` is an ASCII path (a scratch folder's) followed by such names.
inline std::wstring WideOfAscii(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

inline bool WriteWideFile(const std::wstring& path, std::string_view bytes) {
  FILE* file = _wfopen(path.c_str(), L"wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

// The file's bytes; "(missing)" when it cannot be opened.
inline std::string ReadWideFile(const std::wstring& path) {
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (file == nullptr) return "(missing)";
  std::string bytes;
  char chunk[4096];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) bytes.append(chunk, got);
  std::fclose(file);
  return bytes;
}

inline bool MakeWideFolder(const std::wstring& path) {
  std::error_code failed;
  return std::filesystem::create_directory(std::filesystem::path(path), failed);
}
#endif

}  // namespace tandrel::test
