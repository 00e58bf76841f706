// Paths, clock and sleeping on POSIX systems.
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "platform/platform.h"

namespace tandrel::platform {

std::string TemporaryFolder() {
  const char* env = std::getenv("TMPDIR");
  std::string folder = (env != nullptr && *env != '\0') ? env : "/tmp";
  if (folder.back() != kPathSeparator) folder += kPathSeparator;
  return folder;
}

StoredPathMatch MatchStoredPath(const std::string&) { return StoredPathMatch::kOne; }

std::string ProgramPath() {
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return {};
    if (static_cast<std::size_t>(n) < buffer.size()) return std::string(buffer.data(), n);
    buffer.resize(buffer.size() * 2);
  }
}

bool SetCurrentFolder(const std::string& path) { return ::chdir(path.c_str()) == 0; }

void UseBinaryStandardOutput() {}

bool StandardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

std::uint32_t TickCount() {
  timespec now {};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  const std::uint64_t ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                           static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<std::uint32_t>(ms);
}

void Sleep(std::uint32_t milliseconds) {
  timespec rest {static_cast<time_t>(milliseconds / 1000),
                 static_cast<long>(milliseconds % 1000) * 1000000L};
  while (::nanosleep(&rest, &rest) != 0 && errno == EINTR) {
  }
}

void EndProcess(int code) { ::_exit(code); }

namespace {
sigset_t EndRequests() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  return set;
}
}  // namespace

void HoldEndRequests() {
  const sigset_t set = EndRequests();
  ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void WaitForEndRequest() {
  const sigset_t set = EndRequests();
  int received = 0;
  while (::sigwait(&set, &received) != 0) {
  }
}

void LoadLibrariesFromSystemFolderOnly() {}

int CompareNamesForDisplay(std::string_view a, std::string_view b) {
  const auto fold = [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : static_cast<unsigned char>(c);
  };
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    if (fold(a[i]) != fold(b[i])) return fold(a[i]) < fold(b[i]) ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace tandrel::platform
