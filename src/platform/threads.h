// The few threading primitives the program uses, with one implementation per platform (the
// Windows toolchain's C++ library may come without std::thread).
#pragma once

#include <functional>
#include <memory>

namespace brisko::platform {

class Lock {
 public:
  Lock();
  ~Lock();
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;
  void lock();
  void unlock();

 private:
  friend class Wakeup;
  struct Native;
  std::unique_ptr<Native> native_;
};

// Lets a thread sleep, holding a Lock, until another one wakes it.
class Wakeup {
 public:
  Wakeup();
  ~Wakeup();
  Wakeup(const Wakeup&) = delete;
  Wakeup& operator=(const Wakeup&) = delete;
  // Releases the held lock while asleep and holds it again when woken (possibly without a
  // notify: callers test their condition again).
  void wait(Lock& lock);
  // The same, waking by itself after at most milliseconds.
  void waitFor(Lock& lock, int milliseconds);
  void notify();

 private:
  struct Native;
  std::unique_ptr<Native> native_;
};

// A thread that runs body; the destructor waits for it to end.
class Thread {
 public:
  explicit Thread(std::function<void()> body);
  ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  // False when the thread could not be created (body then never runs).
  bool started() const;
  // Waits for the thread to end (once; later calls return at once).
  void join();

 private:
  struct Native;
  std::unique_ptr<Native> native_;
  std::function<void()> body_;
};

}  // namespace brisko::platform
