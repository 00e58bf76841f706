// Worker threads on top of the standard library (MinGW's posix thread model provides it
// on Windows too).
#include <algorithm>
#include <chrono>
#include <system_error>
#include <utility>

#include "platform/platform.h"

namespace tandrel::platform {

Thread::~Thread() {
  RequestStop();
  Wait();
}

bool Thread::Start(Body body) {
  Wait();
  running_.store(true, std::memory_order_release);
  try {
    thread_ = std::jthread([this, body = std::move(body)](std::stop_token stop) {
      body(stop);
      running_.store(false, std::memory_order_release);
    });
  } catch (const std::system_error&) {
    running_.store(false, std::memory_order_release);
    return false;
  }
  return true;
}

bool StoppableWait::For(std::uint32_t milliseconds) {
  // Waits up to a deadline in slices, testing the stop between them: the deadline keeps
  // the period whatever each slice's rounding, and a stop is seen within one slice.
  // (A stop callback would wake it sooner, but MinGW's stop_callback can hang when a
  // callback and its deregistration meet.)
  constexpr auto kSlice = std::chrono::milliseconds(10);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  std::unique_lock<std::mutex> hold(lock_);
  for (;;) {
    if (stop_.stop_requested()) return false;
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return true;
    wake_.wait_for(hold, std::min<std::chrono::steady_clock::duration>(deadline - now, kSlice));
  }
}

void Thread::RequestStop() { thread_.request_stop(); }

void Thread::Wait() {
  if (!thread_.joinable()) return;
  if (thread_.get_id() == std::this_thread::get_id()) return;
  thread_.join();
}

}  // namespace tandrel::platform
