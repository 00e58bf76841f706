// Threads, locks and waits. On Windows they rest on the system's own primitives (slim
// reader/writer locks, condition variables and thread handles that are always joined):
// MinGW's standard thread library runs on winpthreads, which under Wine has crashed and
// missed wake-ups under load. Elsewhere they rest on the standard library. Code outside
// the platform layer uses these and never the standard thread types.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#ifndef _WIN32
#include <condition_variable>
#include <mutex>
#endif

namespace tandrel::platform {

// The number of processors the system runs threads on; at least 1.
unsigned ProcessorCount();
// Tells the calling thread from every other thread alive; never 0.
std::uintptr_t CurrentThreadKey();

// ---------------------------------------------------------------------------------------
// Locks

// An exclusive lock, not recursive. Held through a LockGuard.
class Mutex {
 public:
  Mutex() = default;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  void Lock();
  void Unlock();

 private:
  friend class ConditionVariable;
#ifdef _WIN32
  void* native_ = nullptr;  // an SRWLOCK, unlocked when all zero
#else
  std::mutex native_;
#endif
};

// Holds a Mutex for its scope. Unlock and Lock let go of it for a stretch of work in
// between; the guard unlocks at its end only when it holds the lock.
class LockGuard {
 public:
  explicit LockGuard(Mutex& mutex) : mutex_(mutex) { mutex_.Lock(); }
  ~LockGuard() {
    if (held_) mutex_.Unlock();
  }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

  void Unlock() {
    held_ = false;
    mutex_.Unlock();
  }
  void Lock() {
    mutex_.Lock();
    held_ = true;
  }

 private:
  friend class ConditionVariable;
  Mutex& mutex_;
  bool held_ = true;
};

// ---------------------------------------------------------------------------------------
// Stop requests

struct StopState;

// What a thread asks to learn whether it should stop. A default token is never stopped.
class StopToken {
 public:
  StopToken() = default;
  bool StopRequested() const { return state_ != nullptr && Requested(*state_); }

 private:
  friend class StopSource;
  friend class ConditionVariable;
  explicit StopToken(std::shared_ptr<StopState> state) : state_(std::move(state)) {}
  static bool Requested(const StopState& state);
  std::shared_ptr<StopState> state_;
};

// Requests the stop that its tokens see. Copies share one stop.
class StopSource {
 public:
  StopSource();
  StopToken Token() const { return StopToken(state_); }
  bool StopRequested() const { return StopToken::Requested(*state_); }
  // Marks the stop and wakes every wait on one of its tokens at once. It takes the lock
  // of each such wait, so it must not be called while holding one.
  void RequestStop();

 private:
  std::shared_ptr<StopState> state_;
};

// ---------------------------------------------------------------------------------------
// Condition waits

// Waits for a condition that other threads change under a Mutex and announce with
// NotifyOne or NotifyAll. Each wait tests its condition before it sleeps and after every
// wake-up, holding the lock, so no announcement made under the lock is missed. A stop
// request on the token given to a wait ends it at once.
class ConditionVariable {
 public:
  ConditionVariable() = default;
  ConditionVariable(const ConditionVariable&) = delete;
  ConditionVariable& operator=(const ConditionVariable&) = delete;

  void NotifyOne();
  void NotifyAll();

  // Until `done()` holds.
  template <class Done>
  void Wait(LockGuard& hold, Done done) {
    while (!done()) WaitOnce(hold);
  }
  // Until `done()` holds (true) or `stop` is requested (false unless `done()` holds).
  template <class Done>
  bool Wait(LockGuard& hold, const StopToken& stop, Done done) {
    return WaitChecked(hold, kNoLimit, stop, &Test<Done>, &done);
  }
  // The same for at most `milliseconds` (false at the end unless `done()` holds).
  template <class Done>
  bool WaitFor(LockGuard& hold, std::uint32_t milliseconds, const StopToken& stop, Done done) {
    return WaitChecked(hold, Limited(milliseconds), stop, &Test<Done>, &done);
  }
  template <class Done>
  bool WaitFor(LockGuard& hold, std::uint32_t milliseconds, Done done) {
    return WaitChecked(hold, Limited(milliseconds), StopToken(), &Test<Done>, &done);
  }

 private:
  static constexpr std::uint32_t kNoLimit = 0xFFFFFFFF;
  static constexpr std::uint32_t Limited(std::uint32_t ms) { return ms == kNoLimit ? ms - 1 : ms; }
  template <class Done>
  static bool Test(void* done) {
    return (*static_cast<Done*>(done))();
  }

  bool WaitChecked(LockGuard& hold, std::uint32_t milliseconds, const StopToken& stop,
                   bool (*test)(void*), void* done);
  // One sleep, which may also end without a notification.
  void WaitOnce(LockGuard& hold);
  void WaitOnceFor(LockGuard& hold, std::uint32_t milliseconds);

#ifdef _WIN32
  void* native_ = nullptr;  // a CONDITION_VARIABLE, empty when all zero
#else
  std::condition_variable native_;
#endif
};

// The one way threads wait for a time: `For` waits towards a deadline, so a period holds
// on Windows, where a loop of short sleeps loses up to one timer tick (15.6 ms) per step.
// A stop request on `stop` ends it at once. Without a stop token it is a plain wait.
class StoppableWait {
 public:
  explicit StoppableWait(StopToken stop = {}) : stop_(std::move(stop)) {}
  StoppableWait(const StoppableWait&) = delete;
  StoppableWait& operator=(const StoppableWait&) = delete;

  // Waits `milliseconds`; true when they passed, false as soon as a stop is requested
  // (at once when it was requested before).
  bool For(std::uint32_t milliseconds);

 private:
  StopToken stop_;
  Mutex lock_;
  ConditionVariable wake_;
};

// Set once, waited for by any number of threads.
class Event {
 public:
  Event() = default;
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void Set();
  bool IsSet() const;
  // True once set, false when `milliseconds` passed first.
  bool WaitFor(std::uint32_t milliseconds);

 private:
  mutable Mutex lock_;
  ConditionVariable changed_;
  bool set_ = false;
};

// ---------------------------------------------------------------------------------------
// Threads

// A worker thread whose owner can ask it to stop and can ask whether it still runs. It
// is always joined, never left to run on its own: Start joins the thread started before,
// and destroying a Thread asks its body to stop and waits for it.
class Thread {
 public:
  using Body = std::function<void(const StopToken& stop)>;

  Thread() = default;
  ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Starts `body` on a new thread, after waiting for a thread started earlier.
  // False when the system could not start one.
  [[nodiscard]] bool Start(Body body);
  // True from Start until the body has returned.
  bool IsRunning() const { return running_.load(std::memory_order_acquire); }
  void RequestStop();
  // Waits until the body has returned; returns at once when nothing runs, and when
  // called on the thread itself.
  void Wait();

 private:
  struct Native;  // the system's thread, defined per platform
  struct NativeDeleter {
    void operator()(Native* native) const;
  };
  using NativePtr = std::unique_ptr<Native, NativeDeleter>;

  // The new thread's whole life: the body, then the running flag cleared.
  static void Run(Thread& thread);
  // Per platform: starts a thread that calls Run(*this); null when none was started.
  NativePtr StartNative();
  static void JoinNative(Native& native);

  std::atomic<bool> running_{false};
  std::atomic<std::uintptr_t> runner_{0};  // the running body's thread, 0 when none
  Body body_;
  StopSource stop_;
  NativePtr native_;
};

}  // namespace tandrel::platform
