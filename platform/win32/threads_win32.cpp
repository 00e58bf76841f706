// Locks, condition waits and threads on the system's own primitives: slim reader/writer
// locks, condition variables that sleep on them, and thread handles that are joined.
#include <process.h>

#include "platform/threads.h"
#include "platform/win32/handles.h"

namespace tandrel::platform {
namespace {

static_assert(sizeof(SRWLOCK) == sizeof(void*) && alignof(SRWLOCK) <= alignof(void*));
static_assert(sizeof(CONDITION_VARIABLE) == sizeof(void*) && alignof(CONDITION_VARIABLE) <= alignof(void*));

// The zeroed pointer slots in Mutex and ConditionVariable are the system's objects in
// their initial state (SRWLOCK_INIT, CONDITION_VARIABLE_INIT).
PSRWLOCK Srw(void*& slot) { return reinterpret_cast<PSRWLOCK>(&slot); }
PCONDITION_VARIABLE Condition(void*& slot) { return reinterpret_cast<PCONDITION_VARIABLE>(&slot); }

}  // namespace

unsigned ProcessorCount() {
  SYSTEM_INFO info{};
  ::GetSystemInfo(&info);
  return info.dwNumberOfProcessors == 0 ? 1 : info.dwNumberOfProcessors;
}

void Mutex::Lock() { ::AcquireSRWLockExclusive(Srw(native_)); }

void Mutex::Unlock() { ::ReleaseSRWLockExclusive(Srw(native_)); }

void ConditionVariable::NotifyOne() { ::WakeConditionVariable(Condition(native_)); }

void ConditionVariable::NotifyAll() { ::WakeAllConditionVariable(Condition(native_)); }

void ConditionVariable::WaitOnce(LockGuard& hold) {
  ::SleepConditionVariableSRW(Condition(native_), Srw(hold.mutex_.native_), INFINITE, 0);
}

void ConditionVariable::WaitOnceFor(LockGuard& hold, std::uint32_t milliseconds) {
  // A time-out returns holding the lock, like a wake-up; the caller tests its deadline.
  ::SleepConditionVariableSRW(Condition(native_), Srw(hold.mutex_.native_), milliseconds, 0);
}

struct Thread::Native {
  Thread* owner = nullptr;
  win32::OwnedHandle handle;

  // Through the C runtime's own start, which sets up its per-thread state.
  static unsigned __stdcall Entry(void* native) {
    Run(*static_cast<Native*>(native)->owner);
    return 0;
  }
};

void Thread::NativeDeleter::operator()(Native* native) const { delete native; }

Thread::NativePtr Thread::StartNative() {
  NativePtr native(new Native);
  native->owner = this;
  const std::uintptr_t handle = ::_beginthreadex(nullptr, 0, &Native::Entry, native.get(), 0, nullptr);
  if (handle == 0) return nullptr;
  native->handle = win32::OwnedHandle(reinterpret_cast<HANDLE>(handle));
  return native;
}

void Thread::JoinNative(Native& native) { ::WaitForSingleObject(native.handle.get(), INFINITE); }

std::uintptr_t CurrentThreadKey() { return ::GetCurrentThreadId(); }

}  // namespace tandrel::platform
