#include <windows.h>

#include "platform/threads.h"

namespace brisko::platform {

struct Lock::Native {
  SRWLOCK lock = SRWLOCK_INIT;
};

Lock::Lock() : native_(std::make_unique<Native>()) {}
Lock::~Lock() = default;
void Lock::lock() {
  AcquireSRWLockExclusive(&native_->lock);
}
void Lock::unlock() {
  ReleaseSRWLockExclusive(&native_->lock);
}

struct Wakeup::Native {
  CONDITION_VARIABLE condition = CONDITION_VARIABLE_INIT;
};

Wakeup::Wakeup() : native_(std::make_unique<Native>()) {}
Wakeup::~Wakeup() = default;
void Wakeup::wait(Lock& lock) {
  SleepConditionVariableSRW(&native_->condition, &lock.native_->lock, INFINITE, 0);
}
void Wakeup::waitFor(Lock& lock, int milliseconds) {
  SleepConditionVariableSRW(&native_->condition, &lock.native_->lock,
                            static_cast<DWORD>(milliseconds < 0 ? 0 : milliseconds), 0);
}
void Wakeup::notify() {
  WakeAllConditionVariable(&native_->condition);
}

struct Thread::Native {
  HANDLE thread = nullptr;
  static DWORD WINAPI entry(void* self) {
    static_cast<Thread*>(self)->body_();
    return 0;
  }
};

Thread::Thread(std::function<void()> body)
    : native_(std::make_unique<Native>()), body_(std::move(body)) {
  native_->thread = CreateThread(nullptr, 0, &Native::entry, this, 0, nullptr);
}
Thread::~Thread() {
  join();
}
bool Thread::started() const {
  return native_->thread != nullptr;
}
void Thread::join() {
  if (native_->thread == nullptr) return;
  WaitForSingleObject(native_->thread, INFINITE);
  CloseHandle(native_->thread);
  native_->thread = nullptr;
}

}  // namespace brisko::platform
