// Worker threads on top of the standard library (MinGW's posix thread model provides it
// on Windows too).
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
  std::unique_lock<std::mutex> hold(lock_);
  // Only the stop request wakes the wait; spurious wake-ups are waited through.
  wake_.wait_for(hold, stop_, std::chrono::milliseconds(milliseconds), [] { return false; });
  return !stop_.stop_requested();
}

void Thread::RequestStop() { thread_.request_stop(); }

void Thread::Wait() {
  if (!thread_.joinable()) return;
  if (thread_.get_id() == std::this_thread::get_id()) return;
  thread_.join();
}

}  // namespace tandrel::platform
