#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/threads.h"

namespace brisko::platform {

struct Lock::Native {
  std::mutex mutex;
};

Lock::Lock() : native_(std::make_unique<Native>()) {}
Lock::~Lock() = default;
void Lock::lock() {
  native_->mutex.lock();
}
void Lock::unlock() {
  native_->mutex.unlock();
}

struct Wakeup::Native {
  std::condition_variable condition;
};

Wakeup::Wakeup() : native_(std::make_unique<Native>()) {}
Wakeup::~Wakeup() = default;
void Wakeup::wait(Lock& lock) {
  std::unique_lock<std::mutex> held(lock.native_->mutex, std::adopt_lock);
  native_->condition.wait(held);
  held.release();
}
void Wakeup::waitFor(Lock& lock, int milliseconds) {
  std::unique_lock<std::mutex> held(lock.native_->mutex, std::adopt_lock);
  native_->condition.wait_for(held, std::chrono::milliseconds(milliseconds));
  held.release();
}
void Wakeup::notify() {
  native_->condition.notify_all();
}

struct Thread::Native {
  std::thread thread;
};

Thread::Thread(std::function<void()> body)
    : native_(std::make_unique<Native>()), body_(std::move(body)) {
  try {
    native_->thread = std::thread([this] { body_(); });
  } catch (const std::system_error&) {
    // not started
  }
}
Thread::~Thread() {
  join();
}
bool Thread::started() const {
  return native_->thread.joinable();
}
void Thread::join() {
  if (native_->thread.joinable()) native_->thread.join();
}

}  // namespace brisko::platform
