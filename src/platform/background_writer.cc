#include "platform/background_writer.h"

#include <atomic>
#include <chrono>

#include "platform/threads.h"

namespace brisko::platform {
namespace {

// Creates, writes and closes one file; deletes it again when it could not be stored whole,
// keeping the system's reason.
bool storeFile(FileSystem& files, const std::string& path, const std::string& bytes,
               std::string& failureReason) {
  std::unique_ptr<OutputFile> file = files.createFile(path);
  if (!file) {
    failureReason = files.failureReason();
    return false;
  }
  const bool written = file->write(bytes);
  const bool closed = file->close();
  file.reset();
  if (written && closed) return true;
  failureReason = files.failureReason();
  files.deleteFile(path);
  return false;
}

void pause() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

// Waits up to about 100 microseconds for done() to hold, without giving up the processor: the
// other side usually needs only a few microseconds, far less than a sleep and a wake-up cost.
template <typename Done>
bool spinUntil(Done done) {
  const auto start = std::chrono::steady_clock::now();
  for (int round = 0;; ++round) {
    if (done()) return true;
    pause();
    if ((round & 63) == 63 &&
        std::chrono::steady_clock::now() - start > std::chrono::microseconds(100)) {
      return false;
    }
  }
}

}  // namespace

// The thread that stores the files. The caller fills a job's slot and then counts it as
// handed over; the worker stores it and then counts it as done. Each side spins briefly
// before it sleeps when it has to wait for the other.
struct BackgroundWriter::Worker {
  Worker(FileSystem& files_, Job* jobs_, std::size_t depth_)
      : files(files_), jobs(jobs_), depth(depth_), thread([this] { run(); }) {}

  bool started() const { return thread.started(); }

  // Stores what was handed over, then ends.
  ~Worker() {
    update(stop, std::size_t{1});
    thread.join();
  }

  void update(std::atomic<std::size_t>& counter, std::size_t value) {
    lock.lock();
    counter.store(value, std::memory_order_release);
    lock.unlock();
    wakeup.notify();
  }

  template <typename Reached>
  void await(Reached reached) {
    if (spinUntil(reached)) return;
    lock.lock();
    while (!reached()) wakeup.wait(lock);
    lock.unlock();
  }

  void run() {
    std::size_t next = 0;
    for (;;) {
      await([&] {
        return handedOver.load(std::memory_order_acquire) > next ||
               stop.load(std::memory_order_acquire) != 0;
      });
      if (handedOver.load(std::memory_order_acquire) == next) return;  // stopped, all stored
      Job& job = jobs[next % depth];
      job.stored = storeFile(files, job.path, job.bytes, job.failureReason);
      update(done, ++next);
    }
  }

  FileSystem& files;
  Job* jobs;
  std::size_t depth;
  std::atomic<std::size_t> handedOver{0};
  std::atomic<std::size_t> done{0};
  std::atomic<std::size_t> stop{0};
  Lock lock;
  Wakeup wakeup;
  // Last, so that it starts once everything it uses is there.
  Thread thread;
};

BackgroundWriter::BackgroundWriter(FileSystem& files, std::size_t depth)
    : files_(files), depth_(depth == 0 ? 1 : depth), jobs_(new Job[depth_]) {
  if (files.allowsWritesFromAnotherThread()) {
    worker_ = std::make_unique<Worker>(files, jobs_.get(), depth_);
    if (!worker_->started()) worker_.reset();
  }
}

BackgroundWriter::~BackgroundWriter() {
  worker_.reset();
}

void BackgroundWriter::store(std::string path, std::string bytes) {
  Job& job = jobs_[handedOver_ % depth_];
  job.path = std::move(path);
  job.bytes = std::move(bytes);
  ++handedOver_;
  if (worker_) {
    worker_->update(worker_->handedOver, handedOver_);
  } else {
    job.stored = storeFile(files_, job.path, job.bytes, job.failureReason);
  }
}

bool BackgroundWriter::collectOldest() {
  if (worker_) {
    const std::size_t wanted = collected_ + 1;
    worker_->await([&] { return worker_->done.load(std::memory_order_acquire) >= wanted; });
  }
  Job& job = jobs_[collected_ % depth_];
  ++collected_;
  spare_ = std::move(job.bytes);
  lastFailureReason_ = std::move(job.failureReason);
  job.failureReason.clear();
  return job.stored;
}

void BackgroundWriter::discardAll() {
  while (inFlight() > 0) {
    const std::string path = jobs_[collected_ % depth_].path;
    if (collectOldest()) files_.deleteFile(path);
  }
}

std::string BackgroundWriter::takeBuffer() {
  std::string buffer = std::move(spare_);
  spare_ = std::string();
  buffer.clear();
  return buffer;
}

}  // namespace brisko::platform
