// The operating system as the rest of Tandrel sees it: files (file.h), folder listings
// (folder_listing.h), well-known paths and the process (paths.h), the millisecond clock
// (clock.h), and here folder claims and threads. Text is bytes of the ANSI code page;
// names the code page cannot hold are kept in their stored form (stored_names.h), which
// the Windows layer alone turns back into the system's names.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/file.h"
#include "platform/folder_listing.h"
#include "platform/paths.h"

namespace tandrel::platform {

// ---------------------------------------------------------------------------------------
// Folder claims

// An exclusive claim on a folder's indexing files, held by at most one claimant on the
// machine at a time: processes and threads alike (Windows: a named mutex per folder;
// POSIX: flock on the folder). A process that ends gives its claims up.
// Windows ties the claim to the thread that made it: release it on that thread.
class FolderClaim {
 public:
  FolderClaim() = default;
  ~FolderClaim() { Release(); }
  FolderClaim(FolderClaim&& other) noexcept : handle_(std::exchange(other.handle_, kNoHandle)) {}
  FolderClaim& operator=(FolderClaim&& other) noexcept {
    if (this != &other) {
      Release();
      handle_ = std::exchange(other.handle_, kNoHandle);
    }
    return *this;
  }
  FolderClaim(const FolderClaim&) = delete;
  FolderClaim& operator=(const FolderClaim&) = delete;

  // One attempt, without waiting; false when another claimant holds the folder or the
  // claim cannot be made at all.
  bool TryClaim(const std::string& folder);
  void Release();

 private:
  static constexpr std::intptr_t kNoHandle = -1;
  std::intptr_t handle_ = kNoHandle;
};

// ---------------------------------------------------------------------------------------
// Threads

// The one way threads wait for a time: a condition variable with a time-out towards a
// deadline, ended by a stop request on `stop` within a few milliseconds. A period holds
// on Windows, where a loop of short sleeps loses up to one timer tick (15.6 ms) per step.
// Without a stop token it is a plain wait.
class StoppableWait {
 public:
  explicit StoppableWait(std::stop_token stop = {}) : stop_(std::move(stop)) {}
  StoppableWait(const StoppableWait&) = delete;
  StoppableWait& operator=(const StoppableWait&) = delete;

  // Waits `milliseconds`; true when they passed, false as soon as a stop is requested
  // (at once when it was requested before).
  bool For(std::uint32_t milliseconds);

 private:
  std::stop_token stop_;
  std::mutex lock_;
  std::condition_variable_any wake_;
};

// A worker thread whose owner can ask it to stop and can ask whether it still runs.
// Destroying a running Thread asks it to stop and waits for it.
class Thread {
 public:
  using Body = std::function<void(std::stop_token)>;

  Thread() = default;
  ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Starts `body` on a new thread, after waiting for a thread started earlier.
  // False when the system could not start one.
  bool Start(Body body);
  // True from Start until the body has returned.
  bool IsRunning() const { return running_.load(std::memory_order_acquire); }
  void RequestStop();
  // Waits until the body has returned; returns at once when nothing runs.
  void Wait();

 private:
  std::atomic<bool> running_{false};
  std::jthread thread_;
};

}  // namespace tandrel::platform
