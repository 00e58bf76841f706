// The parts of the threads layer that are the same on every system: stop requests and
// how they reach the waits on them, timed and one-shot waits, and the life of a Thread.
#include "platform/threads.h"

#include <utility>

#include "platform/platform.h"

namespace tandrel::platform {

// One stoppable wait, known to its stop while it may sleep. Lives on the waiting
// thread's stack.
struct StopWaiter {
  Mutex* lock = nullptr;             // the lock the wait sleeps under
  ConditionVariable* wake = nullptr;  // what it sleeps on
  StopWaiter* next = nullptr;
  StopWaiter* previous = nullptr;
  bool listed = false;     // among the waits a stop request has still to wake
  bool notifying = false;  // a stop request is waking it right now
};

// A stop request wakes a wait by notifying under the wait's own lock, so that a wait
// about to sleep cannot miss it. A wait takes `lock` while holding its own lock; the
// request never holds `lock` while it takes a wait's lock, so the two cannot deadlock.
struct StopState {
  std::atomic<bool> requested{false};
  Mutex lock;                   // guards the list and the waiters' flags
  ConditionVariable notified;   // a waiter's notification has ended
  StopWaiter* first = nullptr;  // the waits to wake
};

namespace {

// False (and nothing listed) when the stop was requested before.
bool Register(StopState& state, StopWaiter& waiter) {
  LockGuard hold(state.lock);
  if (state.requested.load(std::memory_order_relaxed)) return false;
  waiter.next = state.first;
  if (state.first != nullptr) state.first->previous = &waiter;
  state.first = &waiter;
  waiter.listed = true;
  return true;
}

void Unlink(StopState& state, StopWaiter& waiter) {
  if (waiter.previous != nullptr) waiter.previous->next = waiter.next;
  if (waiter.next != nullptr) waiter.next->previous = waiter.previous;
  if (state.first == &waiter) state.first = waiter.next;
  waiter.next = waiter.previous = nullptr;
  waiter.listed = false;
}

// Called holding the wait's own lock (`own`), which it still holds on return. A request
// that is notifying this wait right now needs that lock to finish, so it is let go for
// as long as the request still touches the waiter.
void Deregister(StopState& state, StopWaiter& waiter, LockGuard& own) {
  LockGuard hold(state.lock);
  if (waiter.listed) {
    Unlink(state, waiter);
    return;
  }
  if (!waiter.notifying) return;
  own.Unlock();
  state.notified.Wait(hold, [&] { return !waiter.notifying; });
  hold.Unlock();
  own.Lock();
}

}  // namespace

bool StopToken::Requested(const StopState& state) { return state.requested.load(std::memory_order_acquire); }

StopSource::StopSource() : state_(std::make_shared<StopState>()) {}

void StopSource::RequestStop() {
  StopState& state = *state_;
  LockGuard hold(state.lock);
  if (state.requested.exchange(true, std::memory_order_acq_rel)) return;
  while (StopWaiter* waiter = state.first) {
    Unlink(state, *waiter);
    waiter->notifying = true;
    hold.Unlock();
    {
      LockGuard theirs(*waiter->lock);
      waiter->wake->NotifyAll();
    }
    hold.Lock();
    waiter->notifying = false;  // the last touch: the waiter may be gone right after
    state.notified.NotifyAll();
  }
}

bool ConditionVariable::WaitChecked(LockGuard& hold, std::uint32_t milliseconds, const StopToken& stop,
                                    bool (*test)(void*), void* done) {
  StopWaiter waiter;
  waiter.lock = &hold.mutex_;
  waiter.wake = this;
  const bool registered = stop.state_ != nullptr && Register(*stop.state_, waiter);
  const std::uint32_t start = TickCount();
  while (!test(done) && !stop.StopRequested()) {
    if (milliseconds == kNoLimit) {
      WaitOnce(hold);
      continue;
    }
    // Towards a deadline: an early or spurious wake-up sleeps again for the rest.
    const std::uint32_t waited = TickCount() - start;
    if (waited >= milliseconds) break;
    WaitOnceFor(hold, milliseconds - waited);
  }
  if (registered) Deregister(*stop.state_, waiter, hold);
  return test(done);
}

bool StoppableWait::For(std::uint32_t milliseconds) {
  LockGuard hold(lock_);
  // Nothing notifies this wait but the stop: it ends by its time or by the stop.
  wake_.WaitFor(hold, milliseconds, stop_, [] { return false; });
  return !stop_.StopRequested();
}

void Event::Set() {
  LockGuard hold(lock_);
  set_ = true;
  changed_.NotifyAll();
}

bool Event::IsSet() const {
  LockGuard hold(lock_);
  return set_;
}

bool Event::WaitFor(std::uint32_t milliseconds) {
  LockGuard hold(lock_);
  return changed_.WaitFor(hold, milliseconds, [this] { return set_; });
}

Thread::~Thread() {
  RequestStop();
  Wait();
}

bool Thread::Start(Body body) {
  Wait();
  body_ = std::move(body);
  stop_ = StopSource();
  running_.store(true, std::memory_order_release);
  native_ = StartNative();
  if (native_) return true;
  running_.store(false, std::memory_order_release);
  body_ = nullptr;
  return false;
}

void Thread::Run(Thread& thread) {
  // Set and read by this thread alone, so that a Wait from the body needs nothing the
  // starting thread may still be writing.
  thread.runner_.store(CurrentThreadKey());
  {
    // Taken over here, so that what the body holds is freed on this thread as it ends.
    const Body body = std::move(thread.body_);
    body(thread.stop_.Token());
  }
  thread.runner_.store(0);
  // The last touch of the Thread from this thread: its owner may start the next now.
  thread.running_.store(false, std::memory_order_release);
}

void Thread::RequestStop() { stop_.RequestStop(); }

void Thread::Wait() {
  if (runner_.load() == CurrentThreadKey() || !native_) return;
  JoinNative(*native_);
  native_.reset();
}

}  // namespace tandrel::platform
