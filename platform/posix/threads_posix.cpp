// Locks, condition waits and threads on the standard library.
#include <chrono>
#include <system_error>
#include <thread>

#include "platform/threads.h"

namespace tandrel::platform {

unsigned ProcessorCount() {
  const unsigned count = std::thread::hardware_concurrency();
  return count == 0 ? 1 : count;
}

void Mutex::Lock() { native_.lock(); }

void Mutex::Unlock() { native_.unlock(); }

void ConditionVariable::NotifyOne() { native_.notify_one(); }

void ConditionVariable::NotifyAll() { native_.notify_all(); }

void ConditionVariable::WaitOnce(LockGuard& hold) {
  std::unique_lock<std::mutex> lock(hold.mutex_.native_, std::adopt_lock);
  native_.wait(lock);
  lock.release();  // the guard keeps holding it
}

void ConditionVariable::WaitOnceFor(LockGuard& hold, std::uint32_t milliseconds) {
  std::unique_lock<std::mutex> lock(hold.mutex_.native_, std::adopt_lock);
  native_.wait_for(lock, std::chrono::milliseconds(milliseconds));
  lock.release();
}

struct Thread::Native {
  std::thread thread;
};

void Thread::NativeDeleter::operator()(Native* native) const { delete native; }

Thread::NativePtr Thread::StartNative() {
  NativePtr native(new Native);
  try {
    native->thread = std::thread([this] { Run(*this); });
  } catch (const std::system_error&) {
    return nullptr;
  }
  return native;
}

void Thread::JoinNative(Native& native) { native.thread.join(); }

std::uintptr_t CurrentThreadKey() {
  // Each live thread has its own instance, at an address no other live thread shares.
  static thread_local const char key = 0;
  return reinterpret_cast<std::uintptr_t>(&key);
}

}  // namespace tandrel::platform
